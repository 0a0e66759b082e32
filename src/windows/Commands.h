#pragma once
// The program's commands: one action each, in the menu bar and on the toolbar, reached by name
// (Command::Import), so a command that is renamed or gone fails to compile instead of silently doing
// nothing. Whoever owns the program's state connects what the actions do and enables them.
#include <array>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;

// In the order the menus show them; each submenu before its items.
enum class Command {
    FileMenu,
    FileNew,
    FileOpen,
    Archive,
    ArchiveAddFiles,
    Trail,
    ControlCharts,
    AutoImport,
    Profiles,
    Worklist,
    FileClose,
    FileSave,
    FileSaveAs,
    FilePageSetup,
    FilePrintPreview,
    FilePrint,
    FilePdf,
    ChartOnPrintout,
    TablePrintout,
    FileExit,
    DeviceMenu,
    DeviceSearch,
    ChangeUser,
    ExchangeMenu,
    Import,
    Export,
    CalRecordsMenu,
    CalRecordPH,
    CalRecordTurbidity,
    ProgramsMenu,
    UserPrograms,
    ViewMenu,
    ViewToolbar,
    CommLog,
    ViewChart,
    WindowMenu,
    Cascade,
    TileHorizontal,
    TileVertical,
    HelpMenu,
    HelpContents,
    ConnectionCheck,
    About,
};
inline constexpr int kCommandCount = static_cast<int>(Command::About) + 1;

class Commands {
public:
    // Every command's action, in its menu in the bar.
    explicit Commands(QMenuBar &bar);

    QAction &action(Command command) const;
    // What a submenu command opens.
    QMenu &menu(Command command) const;
    // The toolbar button of a command (its own picture and tip): it runs the command and is enabled with it.
    QAction &button(Command command) const;
    void fillToolBar(QToolBar &bar);

    // Commands that act on one document are there only while a document is open.
    void showDocumentCommands(bool shown);

private:
    std::array<QAction *, kCommandCount> m_actions{};
    std::array<QMenu *, kCommandCount> m_menus{};
    std::array<QAction *, kCommandCount> m_buttons{};
};
