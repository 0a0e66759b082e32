#include "Commands.h"

#include "GuiAssets.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <iterator>

namespace {

enum Flag : unsigned {
    Submenu = 1,
    Checkable = 2,
    // Acts on one document: only there while one is open.
    OnDocument = 4,
    SeparatorBefore = 8,
};

struct Entry {
    Command command;
    // The menu it sits in; itself for the menus of the bar.
    Command in;
    int text;
    unsigned flags;
    QKeySequence::StandardKey key;
};

using C = Command;
constexpr QKeySequence::StandardKey kNoKey = QKeySequence::UnknownKey;

// The keys are the ones every program has for these commands.
constexpr Entry kEntries[] = {
    {C::FileMenu, C::FileMenu, TextTable::MenuFile, Submenu, kNoKey},
    {C::FileNew, C::FileMenu, TextTable::MenuFileNew, 0, kNoKey},
    {C::FileOpen, C::FileMenu, TextTable::MenuFileOpen, 0, QKeySequence::Open},
    {C::Archive, C::FileMenu, TextTable::ArchiveMenu, SeparatorBefore, kNoKey},
    {C::ArchiveAddFiles, C::FileMenu, TextTable::ArchiveAddMenu, 0, kNoKey},
    {C::Trail, C::FileMenu, TextTable::TrailMenu, 0, kNoKey},
    {C::ControlCharts, C::FileMenu, TextTable::QcMenu, 0, kNoKey},
    {C::AutoImport, C::FileMenu, TextTable::AutoImportOption, Checkable, kNoKey},
    {C::Profiles, C::FileMenu, TextTable::ProfilesMenu, 0, kNoKey},
    {C::Worklist, C::FileMenu, TextTable::WorklistMenu, 0, kNoKey},
    {C::FileClose, C::FileMenu, TextTable::MenuFileClose, OnDocument | SeparatorBefore, kNoKey},
    {C::FileSave, C::FileMenu, TextTable::MenuFileSave, OnDocument | SeparatorBefore, QKeySequence::Save},
    {C::FileSaveAs, C::FileMenu, TextTable::MenuFileSaveAs, OnDocument, kNoKey},
    {C::FilePageSetup, C::FileMenu, TextTable::MenuFilePageSetup, OnDocument | SeparatorBefore, kNoKey},
    {C::FilePrintPreview, C::FileMenu, TextTable::MenuFilePrintPreview, OnDocument, kNoKey},
    {C::FilePrint, C::FileMenu, TextTable::MenuFilePrint, OnDocument, QKeySequence::Print},
    {C::FilePdf, C::FileMenu, TextTable::PdfMenu, OnDocument, kNoKey},
    {C::ChartOnPrintout, C::FileMenu, TextTable::ChartOnPrintout, OnDocument | Checkable, kNoKey},
    {C::TablePrintout, C::FileMenu, TextTable::TablePrintout, OnDocument | Checkable, kNoKey},
    {C::FileExit, C::FileMenu, TextTable::MenuFileExit, SeparatorBefore, QKeySequence::Quit},
    {C::DeviceMenu, C::DeviceMenu, TextTable::MenuLogin, Submenu, kNoKey},
    {C::DeviceSearch, C::DeviceMenu, TextTable::MenuSearchMeter, 0, kNoKey},
    {C::ChangeUser, C::DeviceMenu, TextTable::MenuChangeUser, 0, kNoKey},
    {C::ExchangeMenu, C::ExchangeMenu, TextTable::MenuDataExchange, Submenu, kNoKey},
    {C::Import, C::ExchangeMenu, TextTable::MenuImport, OnDocument, kNoKey},
    {C::Export, C::ExchangeMenu, TextTable::MenuExportXls, OnDocument, kNoKey},
    {C::CalRecordsMenu, C::ExchangeMenu, TextTable::MenuCalibrationRecords, Submenu, kNoKey},
    {C::CalRecordPH, C::CalRecordsMenu, TextTable::MenuCalRecordPh, 0, kNoKey},
    {C::CalRecordTurbidity, C::CalRecordsMenu, TextTable::MenuCalRecordTurbidity, 0, kNoKey},
    {C::ProgramsMenu, C::ExchangeMenu, TextTable::MenuPrograms, Submenu, kNoKey},
    {C::UserPrograms, C::ProgramsMenu, TextTable::MenuUserDefinedPrograms, 0, kNoKey},
    {C::ViewMenu, C::ViewMenu, TextTable::MenuView, Submenu, kNoKey},
    {C::ViewToolbar, C::ViewMenu, TextTable::MenuViewToolbar, Checkable, kNoKey},
    {C::CommLog, C::ViewMenu, TextTable::CommLogMenu, 0, kNoKey},
    {C::ViewChart, C::ViewMenu, TextTable::ChartMenu, OnDocument | Checkable, kNoKey},
    {C::WindowMenu, C::WindowMenu, TextTable::MenuWindow, Submenu, kNoKey},
    {C::Cascade, C::WindowMenu, TextTable::MenuWindowCascade, 0, kNoKey},
    {C::TileHorizontal, C::WindowMenu, TextTable::MenuWindowTileHorizontal, 0, kNoKey},
    {C::TileVertical, C::WindowMenu, TextTable::MenuWindowTileVertical, 0, kNoKey},
    {C::HelpMenu, C::HelpMenu, TextTable::MenuHelp, Submenu, kNoKey},
    {C::HelpContents, C::HelpMenu, TextTable::MenuHelpOnline, 0, kNoKey},
    {C::ConnectionCheck, C::HelpMenu, TextTable::CheckMenu, 0, kNoKey},
    {C::About, C::HelpMenu, TextTable::MenuHelpAbout, SeparatorBefore, kNoKey},
};

// Every command has its entry, at its own place: one left out or out of order does not compile.
constexpr bool inCommandOrder()
{
    for (int i = 0; i < kCommandCount; ++i)
        if (static_cast<int>(kEntries[i].command) != i)
            return false;
    return true;
}
static_assert(std::size(kEntries) == kCommandCount && inCommandOrder());

struct Button {
    Command command;
    // Also the name of its picture.
    const char *key;
    int tip;
};

const Button kButtons[] = {
    {C::FileNew, "New", TextTable::ToolNew},
    {C::FileOpen, "Open", TextTable::ToolOpen},
    {C::FileSave, "Save", TextTable::ToolSave},
    {C::FilePrint, "Print", TextTable::ToolPrint},
    {C::Import, "Import", TextTable::ToolImport},
    {C::Export, "Export", TextTable::ToolExport},
    {C::UserPrograms, "UsrProgs", TextTable::UserDefinedPrograms},
    {C::Archive, "Archive", TextTable::ArchiveTitle},
};

} // namespace

Commands::Commands(QMenuBar &bar)
{
    for (const Entry &entry : kEntries) {
        const int index = static_cast<int>(entry.command);
        QMenu *container = entry.in == entry.command ? nullptr : m_menus[static_cast<int>(entry.in)];
        if (entry.flags & SeparatorBefore)
            container->addSeparator();
        if (entry.flags & Submenu) {
            QWidget *parent = container ? static_cast<QWidget *>(container) : &bar;
            auto *menu = new QMenu(parent);
            TextApplier::tag(menu, entry.text);
            if (container)
                container->addMenu(menu);
            else
                bar.addMenu(menu);
            m_menus[index] = menu;
            m_actions[index] = menu->menuAction();
            continue;
        }
        auto *action = new QAction(container);
        TextApplier::tag(action, entry.text);
        action->setCheckable(entry.flags & Checkable);
        if (entry.key != kNoKey)
            action->setShortcut(entry.key);
        container->addAction(action);
        m_actions[index] = action;
    }
}

QAction &Commands::action(Command command) const
{
    return *m_actions[static_cast<int>(command)];
}

QMenu &Commands::menu(Command command) const
{
    QMenu *menu = m_menus[static_cast<int>(command)];
    if (!menu)
        qFatal("Commands::menu: %d is no submenu", static_cast<int>(command));
    return *menu;
}

QAction &Commands::button(Command command) const
{
    QAction *button = m_buttons[static_cast<int>(command)];
    if (!button)
        qFatal("Commands::button: %d has no toolbar button", static_cast<int>(command));
    return *button;
}

void Commands::fillToolBar(QToolBar &bar)
{
    for (const Button &entry : kButtons) {
        const QString key = QString::fromLatin1(entry.key);
        QAction *button = bar.addAction(QIcon(GuiAssets::grafics(key + QStringLiteral(".png"))), key);
        button->setObjectName(QStringLiteral("tb") + key);
        TextApplier::tag(button, entry.tip, entry.tip);
        QAction &command = action(entry.command);
        QObject::connect(button, &QAction::triggered, &command, &QAction::trigger);
        QObject::connect(&command, &QAction::enabledChanged, button, &QAction::setEnabled);
        button->setEnabled(command.isEnabled());
        m_buttons[static_cast<int>(entry.command)] = button;
        if (entry.command == Command::Export)
            bar.addSeparator();
    }
}

void Commands::showDocumentCommands(bool shown)
{
    for (const Entry &entry : kEntries)
        if (entry.flags & OnDocument)
            action(entry.command).setVisible(shown);
}
