#include "frmMain.h"

#include "basMain.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CImportMVal.h"
#include "CIni.h"
#include "CLogin.h"
#include "CPrint.h"
#include "CUsrDefProg.h"
#include "Delivery.h"
#include "DeviceWatcher.h"
#include "ErrorFrame.h"
#include "frmAbout.h"
#include "frmArchive.h"
#include "frmCalProtocolPH.h"
#include "frmCalProtocolTurb.h"
#include "frmCommLog.h"
#include "frmConnCheck.h"
#include "frmControlChart.h"
#include "frmDocument.h"
#include "frmHelp.h"
#include "frmProfileEdit.h"
#include "frmProgConsole.h"
#include "frmTrail.h"
#include "frmWait.h"
#include "GuiAssets.h"
#include "ImportFollowUp.h"
#include "ProgramFolder.h"
#include "QtPrintTarget.h"
#include "TellUser.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "Twips.h"
#include "UserDialogs.h"
#include "Worklist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>

frmMain::frmMain(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_mdi(new QMdiArea(this)),
      m_menuStack(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    // Without a writable data folder the link still works; the log then only feeds the window.
    m_commLog.open(CommLog::defaultFolder());
    m_link.setLog(&m_commLog);
    m_menuBar = new QMenuBar;
    m_commands = std::make_unique<Commands>(*m_menuBar);
    connectCommands();
    // Inside a container, not the main window's own menu bar: a maximised document then keeps its title
    // bar and buttons, which Qt would otherwise move into the menu bar.
    m_menuStack->addWidget(m_menuBar);
    setMenuWidget(m_menuStack);
    createToolBar();
    createStatusBar();
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &frmMain::activeDocumentChanged);
    connect(&m_link, &CSerialLink::interfaceTextChanged, this,
            [this](const QString &text) { m_panels[PanelInterface]->setText(text); });
    connect(&m_link, &CSerialLink::baudTextChanged, this,
            [this](const QString &text) { m_panels[PanelBaud]->setText(text); });
    // F1 opens the help at the topic of the active document, or at its start.
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [this] { showHelp(activeDocument() ? frmDocument::kHelpContext : 0); });
}

frmMain::~frmMain()
{
    // Documents refer to the shared objects: they go first.
    m_mdi->closeAllSubWindows();
    for (QMdiSubWindow *window : m_mdi->subWindowList())
        delete window;
    m_shared.reset();
    m_printTarget.reset();
}

frmWait &frmMain::waitDialog()
{
    if (!m_wait) {
        m_wait = new frmWait(this);
        connect(&m_link, &CSerialLink::meterSilent, m_wait, &frmWait::setSilence);
        m_wait->setUnloadHandler([this] {
            m_link.COMStop();
            if (m_shared && m_shared->usrDefProg)
                m_shared->usrDefProg->StopUpdate();
        });
    }
    return *m_wait;
}

bool frmMain::Load()
{
    m_shared = std::make_unique<SharedObjects>(&m_link);
    m_shared->recordActivity();
    // Chosen once, before the first text is put in place; windows opened later follow it.
    TextTable::setLanguage(ProgramFolder::language(*m_shared->ini));
    QCoreApplication::removeTranslator(&m_qtTexts);
    if (m_qtTexts.load(QStringLiteral("qtbase_") + TextTable::language(),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qtTexts);
    TextApplier::tag(m_panels[PanelInterface], 0, TextTable::ColumnInterface);
    TextApplier::tag(m_panels[PanelBaud], 0, TextTable::ColumnBaudRate);
    TextApplier::tag(m_panels[PanelMeter], 0, TextTable::Meter);
    TextApplier::tag(m_panels[PanelSerial], 0, TextTable::ColumnSerialNumber);
    TextApplier::tag(m_panels[PanelUser], 0, TextTable::ColumnUser);
    TextApplier::apply(this);
    // The interface panel also reads "offline", which is longer in some languages than a port name.
    QLabel *interfacePanel = m_panels[PanelInterface];
    interfacePanel->setMinimumWidth(
        std::max(interfacePanel->minimumWidth(),
                 interfacePanel->fontMetrics().horizontalAdvance(TextTable::text(TextTable::Offline)) + 12));
    m_printTarget = std::make_unique<QtPrintTarget>();
    m_shared->print->setTarget(m_printTarget.get());
    restorePosition();
    const QIcon icon = GuiAssets::windowIcon();
    if (icon.isNull())
        return false;
    setWindowIcon(icon);
    setWindowTitle(ProgramFolder::setting(*m_shared->ini, QStringLiteral("About"), QStringLiteral("AppName"),
                                          QStringLiteral("Meravo")));
    const int helpText =
        ProgramFolder::onlyKlaro7(*m_shared->ini) ? TextTable::HelpFileClarix : TextTable::HelpFileMain;
    m_helpFile = ProgramFolder::file(QStringLiteral("Help/") + TextTable::text(helpText));
    OpenDocumentWindow();
    SetStatusBarCOM(TextTable::text(TextTable::Offline), QString());
    basMain::UpdateCommandStates(*this, true);
    if (QSettings(QSettings::UserScope, QStringLiteral("Meravo"), settingsTitle())
            .value(QStringLiteral("Settings/AutoImport"), false)
            .toBool())
        setAutoImport(true);
    // Deliveries that waited for a folder (a share not mounted at the last import) go at the start.
    QTimer::singleShot(0, this, [this] {
        if (!m_shared->archive->enabled())
            return;
        const QStringList lines =
            Delivery::deliverToAll(*m_shared->archive, m_shared->login->UserName(), &m_shared->deliveryTold);
        if (!lines.isEmpty()) {
            m_notice->setText(lines.join(QLatin1Char(' ')));
            m_notice->setToolTip(lines.join(QLatin1Char('\n')));
        }
    });
    return true;
}

QString frmMain::settingsTitle() const
{
    return ProgramFolder::setting(*m_shared->ini, QStringLiteral("About"), QStringLiteral("AppName"),
                                  QStringLiteral("Meravo"));
}

namespace {

// Enough of the window's top edge lies on a screen to take it by its title bar and move it.
bool reachable(const QRect &client)
{
    const int least = std::min(client.width(), 100);
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect band = QRect(client.left(), client.top(), client.width(), 1) & area;
        if (band.width() >= least && client.top() >= area.top())
            return true;
    }
    return false;
}

} // namespace

// The stored rectangle is the window's inner area: its frame is the window manager's and unknown
// until the window is on screen, so a stored frame position would come back shifted by the title bar.
void frmMain::restorePosition()
{
    QSettings store(QSettings::UserScope, QStringLiteral("Meravo"), settingsTitle());
    store.beginGroup(QStringLiteral("Settings"));
    auto value = [&store](const char *key, int fallback) {
        bool ok = false;
        const int v = store.value(QString::fromLatin1(key), QString::number(fallback)).toString().toInt(&ok);
        return ok ? v : fallback;
    };
    const QPoint placed(Twips::toPixels(kDefaultLeft, this), Twips::toPixels(kDefaultTop, this));
    QRect client(Twips::toPixels(value("MainLeft", kDefaultLeft), this),
                 Twips::toPixels(value("MainTop", kDefaultTop), this),
                 Twips::toPixels(value("MainWidth", kDefaultSize), this),
                 Twips::toPixels(value("MainHeight", kDefaultSize), this));
    // The stored size, but never narrower than the status bar's panels need.
    int least = 24;
    for (const QLabel *panel : m_panels)
        least += panel->minimumWidth() + 8;
    setMinimumWidth(least);
    client.setWidth(std::max(client.width(), least));
    if (client.height() <= 0)
        client.setHeight(Twips::toPixels(kDefaultSize, this));
    // Nothing stored yet: the table and the chart get a good share of the screen.
    const QRect available = screen() ? screen()->availableGeometry() : QRect();
    if (!store.contains(QStringLiteral("MainWidth")) && available.isValid()) {
        client.setSize(QSize(std::max(least, available.width() * 3 / 4), available.height() * 3 / 4));
        if (available.contains(client.topLeft()))
            client.moveTopLeft(QPoint(std::min(client.left(), available.right() - client.width()),
                                      std::min(client.top(), available.bottom() - client.height())));
    }
    // A screen taken away since, or a stored position from before: the default place.
    if (!reachable(client))
        client.moveTopLeft(placed);
    setGeometry(client);
    // Maximised when it was left so; the stored rectangle is where it goes back to.
    if (store.value(QStringLiteral("MainMaximized")).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::savePosition()
{
    if (isMinimized() || !m_shared)
        return;
    QSettings store(QSettings::UserScope, QStringLiteral("Meravo"), settingsTitle());
    store.beginGroup(QStringLiteral("Settings"));
    // A maximised window keeps the place it goes back to.
    const QRect client = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    store.setValue(QStringLiteral("MainLeft"), QString::number(Twips::fromPixels(client.x(), this)));
    store.setValue(QStringLiteral("MainTop"), QString::number(Twips::fromPixels(client.y(), this)));
    store.setValue(QStringLiteral("MainWidth"), QString::number(Twips::fromPixels(client.width(), this)));
    store.setValue(QStringLiteral("MainHeight"), QString::number(Twips::fromPixels(client.height(), this)));
    store.setValue(QStringLiteral("MainMaximized"), isMaximized());
}

void frmMain::connectCommands()
{
    const std::pair<Command, void (frmMain::*)()> program[] = {
        {Command::FileNew, &frmMain::MenuFileNew},
        {Command::FileOpen, &frmMain::MenuFileOpen},
        {Command::Archive, &frmMain::MenuArchive},
        {Command::ArchiveAddFiles, &frmMain::MenuArchiveAddFiles},
        {Command::ControlCharts, &frmMain::MenuControlCharts},
        {Command::Worklist, &frmMain::MenuLoadWorklist},
        {Command::FileExit, &frmMain::MenuFileExit},
        {Command::DeviceSearch, &frmMain::MenuDeviceSearch},
        {Command::ChangeUser, &frmMain::MenuChangeUser},
        {Command::CalRecordPH, &frmMain::MenuCalProtPH},
        {Command::CalRecordTurbidity, &frmMain::MenuCalProtTurb},
        {Command::UserPrograms, &frmMain::MenuProgsUserDef},
        {Command::ViewToolbar, &frmMain::MenuViewToolbar},
        {Command::CommLog, &frmMain::MenuViewCommLog},
        {Command::Cascade, &frmMain::MenuWindowCascade},
        {Command::TileHorizontal, &frmMain::MenuWindowTileHorizontal},
        {Command::TileVertical, &frmMain::MenuWindowTileVertical},
        {Command::HelpContents, &frmMain::MenuHelpApp},
        {Command::ConnectionCheck, &frmMain::MenuHelpConnCheck},
        {Command::About, &frmMain::MenuHelpAbout},
    };
    for (const auto &[command, run] : program)
        connect(&m_commands->action(command), &QAction::triggered, this,
                [this, run = run] { (this->*run)(); });
    connect(&m_commands->action(Command::Trail), &QAction::triggered, this,
            [this] { frmTrail::open(*this); });
    connect(&m_commands->action(Command::Profiles), &QAction::triggered, this,
            [this] { frmProfileEdit(*this, this).exec(); });
    QAction &automatic = m_commands->action(Command::AutoImport);
    connect(&automatic, &QAction::triggered, this, [this](bool on) { setAutoImport(on); });
    m_commands->action(Command::ViewToolbar).setChecked(true);
    connectDocumentCommands();
}

void frmMain::connectDocumentCommands()
{
    const std::pair<Command, void (*)(frmDocument &)> document[] = {
        {Command::FileClose, [](frmDocument &d) { d.closeWindow(); }},
        {Command::FileSave, [](frmDocument &d) { d.MenuFileSave(); }},
        {Command::FileSaveAs, [](frmDocument &d) { d.MenuFileSaveAs(); }},
        {Command::FilePageSetup, [](frmDocument &d) { d.MenuFilePageSetup(); }},
        {Command::FilePrintPreview, [](frmDocument &d) { d.MenuFilePrintPreview(); }},
        {Command::FilePrint, [](frmDocument &d) { d.MenuFilePrint(); }},
        {Command::FilePdf, [](frmDocument &d) { d.MenuFilePdf(); }},
        {Command::Import, [](frmDocument &d) { d.MenuImport(); }},
        {Command::Export, [](frmDocument &d) { d.MenuExport(); }},
    };
    for (const auto &[command, run] : document)
        connect(&m_commands->action(command), &QAction::triggered, this, [this, run = run] {
            if (frmDocument *doc = commandTarget())
                run(*doc);
        });
    // Triggered, not toggled: the mark also follows the document activated, which must not show or hide it.
    connect(&m_commands->action(Command::ViewChart), &QAction::triggered, this, [this](bool shown) {
        if (frmDocument *doc = commandTarget())
            doc->setChartShown(shown);
    });
    QAction *chartPage = &m_commands->action(Command::ChartOnPrintout);
    connect(chartPage, &QAction::toggled, this, [](bool on) { frmDocument::setChartOnPrintout(on); });
    QAction *asTable = &m_commands->action(Command::TablePrintout);
    connect(asTable, &QAction::toggled, this, [](bool on) { frmDocument::setTablePrintout(on); });
    // The choices hold for every document and may change elsewhere: the menu shows them as they are now.
    QAction *automatic = &m_commands->action(Command::AutoImport);
    connect(&m_commands->menu(Command::FileMenu), &QMenu::aboutToShow, this,
            [this, automatic, chartPage, asTable] {
                automatic->setChecked(autoImport());
                chartPage->setChecked(frmDocument::chartOnPrintout());
                asTable->setChecked(frmDocument::tablePrintout());
            });
}

frmDocument *frmMain::commandTarget() const
{
    if (frmDocument *doc = activeDocument())
        return doc;
    // While the frame is not the active window no document is active; the commands keep to the last one.
    return documents().contains(m_commandTarget) ? m_commandTarget.data() : nullptr;
}

void frmMain::createToolBar()
{
    m_toolBar = addToolBar(QString());
    m_toolBar->setObjectName(QStringLiteral("tbToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->toggleViewAction()->setVisible(false);
    m_commands->fillToolBar(*m_toolBar);
}

void frmMain::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    bar->setSizeGripEnabled(true);
    const int stretch[PanelCount] = {2, 1, 2, 1, 2, 0, 0};
    // Each panel is wide enough for what it typically shows, so no reading is cut off.
    const char *typical[PanelCount] = {"COM 256",    "19200 Baud", "Lumora Turb", "000000",
                                       "MMMMMMMMMM", "00/00/0000", "00:00:00 MMM"};
    for (int i = 0; i < PanelCount; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("sbPanel%1").arg(i + 1));
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        m_panels[i]->setMinimumWidth(m_panels[i]->fontMetrics().horizontalAdvance(QLatin1String(typical[i])) +
                                     12);
        bar->addPermanentWidget(m_panels[i], stretch[i]);
    }
    // The notice of automatic imports: it informs, it asks nothing.
    m_notice = new QLabel(bar);
    m_notice->setObjectName(QStringLiteral("sbNotice"));
    bar->addWidget(m_notice, 3);
    auto tick = [this] {
        const QLocale locale = QLocale::system();
        m_panels[PanelDate]->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
        m_panels[PanelTime]->setText(locale.toString(QTime::currentTime(), QLocale::LongFormat));
    };
    tick();
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, tick);
    m_clock.start();
}

short frmMain::NumDocs() const
{
    return short(documents().size());
}

QList<frmDocument *> frmMain::documents() const
{
    QList<frmDocument *> docs;
    for (QMdiSubWindow *window : m_mdi->subWindowList()) {
        if (auto *doc = qobject_cast<frmDocument *>(window->widget()))
            docs.append(doc);
    }
    return docs;
}

frmDocument *frmMain::activeDocument() const
{
    QMdiSubWindow *window = m_mdi->activeSubWindow();
    if (!window && m_mdi->subWindowList().size() == 1)
        window = m_mdi->subWindowList().constFirst();
    return window ? qobject_cast<frmDocument *>(window->widget()) : nullptr;
}

void frmMain::SetStatusBarCOM(const QString &strCOMPort, const QString &strBaudrate)
{
    m_panels[PanelInterface]->setText(strCOMPort);
    m_panels[PanelBaud]->setText(strBaudrate);
}

void frmMain::SetStatusBarDevice(const QString &strDeviceName, const QString &strSerNum)
{
    m_panels[PanelMeter]->setText(strDeviceName);
    m_panels[PanelSerial]->setText(strSerNum);
}

void frmMain::SetStatusBarUserName(const QString &strUserName)
{
    m_panels[PanelUser]->setText(strUserName);
}

QString frmMain::statusText(Panel panel) const
{
    return m_panels[panel]->text();
}

void frmMain::SetMousePointer(int intMousePointerVal)
{
    const QCursor cursor(intMousePointerVal == 11 ? Qt::WaitCursor : Qt::ArrowCursor);
    setCursor(cursor);
    for (frmDocument *doc : documents())
        doc->SetMousePointer(intMousePointerVal);
}

bool frmMain::ToolbarIsChecked() const
{
    return m_commands->action(Command::ViewToolbar).isChecked();
}

frmDocument *frmMain::OpenDocumentWindow(const QString &filePath)
{
    if (!CloseAllDocuments())
        return nullptr;
    frmDocument *doc = addDocumentWindow();
    if (!filePath.isEmpty())
        doc->FillFromFile(filePath);
    return doc;
}

frmDocument *frmMain::addDocumentWindow()
{
    auto *doc = new frmDocument(*this);
    QMdiSubWindow *window = m_mdi->addSubWindow(doc);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(windowIcon());
    doc->Load();
    // The size it goes back to from maximised.
    window->resize(window->sizeHint());
    window->showMaximized();
    m_mdi->setActiveSubWindow(window);
    return doc;
}

bool frmMain::CloseAllDocuments()
{
    // A document whose user keeps it open ends the command; asking it again and again would trap
    // the user in the save question.
    while (true) {
        const QList<frmDocument *> docs = documents();
        if (docs.isEmpty())
            return true;
        QMdiSubWindow *window = qobject_cast<QMdiSubWindow *>(docs.first()->parentWidget());
        if (!window || !window->close())
            return false;
        // The sub-window deletes itself later; take it out of the list now.
        m_mdi->removeSubWindow(window);
        window->deleteLater();
    }
}

void frmMain::activeDocumentChanged(QMdiSubWindow *window)
{
    if (auto *doc = window ? qobject_cast<frmDocument *>(window->widget()) : nullptr) {
        m_commandTarget = doc;
        m_commands->action(Command::ViewChart).setChecked(doc->isChartShown());
    }
}

void frmMain::MenuFileNew()
{
    OpenDocumentWindow();
}

void frmMain::MenuFileOpen()
{
    const QString path = m_dialogs.openFileName(
        this, TextTable::text(TextTable::ToolOpen), QString(),
        UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv")));
    if (path.isEmpty())
        return;
    OpenDocumentWindow(path);
}

void frmMain::MenuFileExit()
{
    close();
}

void frmMain::SearchMeter(bool onlyKlaro7)
{
    frmWait &wait = waitDialog();
    if (!wait.ShowWithText(TextTable::text(TextTable::SearchingForMeter))) {
        wait.Unload();
        SetMousePointer(0);
        m_dialogs.error(this, TextTable::text(TextTable::MeterRecognitionError));
        return;
    }
    QString name;
    QString serial;
    const qint16 result = m_shared->device->Recognise(name, serial, onlyKlaro7);
    TellUser::link(m_shared->device->linkResult());
    wait.Unload();
    SetMousePointer(0);
    SetStatusBarCOM(TextTable::text(TextTable::Offline), QString());
    if (result == CDevice::FirmwareTooOld) {
        m_dialogs.error(this, TextTable::text(TextTable::MeterSoftwareTooOld) + QStringLiteral("\r\n") +
                                  TextTable::text(TextTable::UpdateFirmware));
    } else if (result != CDevice::Recognised) {
        m_dialogs.error(
            this, TextTable::text(onlyKlaro7 ? TextTable::NoKlaro7Recognized : TextTable::NoMeterRecognized));
    } else {
        const CCommunication &comm = *m_shared->communication;
        SetStatusBarCOM(QStringLiteral("COM %1").arg(comm.COMPort()),
                        comm.Baudrate() + QStringLiteral(" Baud"));
        const int answer =
            m_dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                              name + QLatin1Char(' ') + TextTable::text(TextTable::Recognized),
                              UserDialogs::Icon::Information, UserDialogs::Ok | UserDialogs::Cancel);
        if (answer == UserDialogs::Ok) {
            SetStatusBarDevice(name, serial);
        } else {
            SetStatusBarCOM(TextTable::text(TextTable::Offline), QString());
            m_shared->device->setOnline(false);
        }
    }
}

void frmMain::MenuDeviceSearch()
{
    const bool onlyKlaro7 = ProgramFolder::onlyKlaro7(*m_shared->ini);
    SetMousePointer(11);
    SearchMeter(onlyKlaro7);
    OpenDocumentWindow();
    basMain::UpdateCommandStates(*this, true);
}

void frmMain::MenuChangeUser()
{
    if (m_shared->login->fixed()) {
        m_dialogs.information(this, TextTable::text(TextTable::LoginFixedToAccount));
        return;
    }
    QString answer;
    if (!m_dialogs.inputText(this, TextTable::text(TextTable::ChangeUserCaption),
                             TextTable::text(TextTable::UserLabel), QString(), &answer,
                             m_shared->login->UserNameMaxLen()) ||
        answer.isEmpty())
        return;
    const QString previous = m_shared->login->UserName();
    m_shared->login->setUserName(answer);
    SetStatusBarUserName(m_shared->login->UserName());
    m_shared->recordLogin(previous);
}

void frmMain::MenuProgsUserDef()
{
    frmProgConsole console(*this);
    console.exec();
}

void frmMain::MenuCalProtPH()
{
    frmCalProtocolPH window(*this);
    window.exec();
}

void frmMain::MenuCalProtTurb()
{
    frmCalProtocolTurb window(*this);
    window.exec();
}

void frmMain::MenuViewCommLog()
{
    if (!m_commLogWindow)
        m_commLogWindow = new frmCommLog(m_commLog, m_dialogs, this);
    m_commLogWindow->show();
    m_commLogWindow->raise();
    m_commLogWindow->activateWindow();
}

void frmMain::MenuArchive()
{
    if (!m_archiveWindow) {
        m_archiveWindow = new frmArchive(*this, this);
        m_archiveWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_archiveWindow->show();
    m_archiveWindow->raise();
    m_archiveWindow->activateWindow();
}

void frmMain::MenuControlCharts()
{
    auto *window = new frmControlChart(*this, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

frmArchive *frmMain::archiveWindow() const
{
    return m_archiveWindow;
}

void frmMain::MenuArchiveAddFiles()
{
    // An open archive window shows what was added.
    if (frmArchive::addFiles(*this, this) && m_archiveWindow)
        m_archiveWindow->search();
}

void frmMain::setAutoImport(bool on)
{
    QSettings store(QSettings::UserScope, QStringLiteral("Meravo"), settingsTitle());
    store.setValue(QStringLiteral("Settings/AutoImport"), on);
    if (!on) {
        m_watcher.reset();
        return;
    }
    if (m_watcher)
        return;
    // Pinned ports are watched as they are named; otherwise the links udev makes for USB adapters.
    const QByteArray pinned = qgetenv("MERAVO_PORTS");
    const QStringList devices =
        pinned.isNull() ? QStringList()
                        : QString::fromLocal8Bit(pinned).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    auto watcher = std::make_unique<DeviceWatcher>(
        devices.isEmpty() ? QStringList{QStringLiteral("/dev/serial/by-id")} : QStringList(), devices);
    QString error;
    if (!watcher->start(&error)) {
        m_dialogs.error(this, error);
        return;
    }
    connect(watcher.get(), &DeviceWatcher::appeared, this, &frmMain::importAppeared);
    m_watcher = std::move(watcher);
}

void frmMain::MenuLoadWorklist()
{
    const QString path = m_dialogs.openFileName(
        this, TextTable::text(TextTable::WorklistMenu).remove(QLatin1Char('&')), QString(),
        UserDialogs::filter(QStringLiteral("CSV"), QStringLiteral("*.csv")));
    if (path.isEmpty())
        return;
    auto worklist = std::make_unique<Worklist>();
    QString error;
    if (!worklist->read(path, &error)) {
        m_dialogs.error(this, error);
        return;
    }
    m_notice->setText(TextTable::text(TextTable::WorklistLoaded).arg(path).arg(worklist->entries().size()));
    m_notice->setToolTip(m_notice->text());
    m_shared->worklist = std::move(worklist);
}

QString frmMain::autoImportNotice() const
{
    return m_notice ? m_notice->toolTip() : QString();
}

void frmMain::importAppeared(const QString &path)
{
    // Never inside another exchange with the meter: the next appearance imports instead.
    if (m_wait && m_wait->isVisible())
        return;
    QString name;
    QString serial;
    QStringList lines;
    const qint16 found = m_shared->device->Recognise(name, serial, ProgramFolder::onlyKlaro7(*m_shared->ini));
    TellUser::link(m_shared->device->linkResult());
    const auto importMeterValues = [this](QString &into) {
        const bool ok = m_shared->importMVal->GetMVals(into);
        TellUser::link(m_shared->importMVal->linkResult());
        return ok;
    };
    QString raw;
    if (found != CDevice::Recognised) {
        lines.append(TextTable::text(found == CDevice::FirmwareTooOld ? TextTable::MeterSoftwareTooOld
                                                                      : TextTable::NoMeterRecognized));
    } else if (const QDateTime imported = QDateTime::currentDateTime(); !importMeterValues(raw)) {
        // Unplugged on the way: nothing archived, nothing delivered.
        lines.append(TextTable::text(TextTable::ImportError));
    } else if (m_shared->archive->enabled()) {
        const ImportRecord record = ImportRecord::fromMeter(
            raw, imported, *m_shared->device, *m_shared->communication, m_shared->login->UserName());
        Archive::Summary summary;
        const Archive::Result result = m_shared->archive->keep(record, &summary);
        lines = followUpImport(*m_shared, result, summary).notices;
        if (m_archiveWindow)
            m_archiveWindow->search();
    }
    const QString text = TextTable::text(TextTable::AutoImportNotice).arg(path, lines.join(QLatin1Char(' ')));
    m_notice->setText(text);
    m_notice->setToolTip(text);
}

void frmMain::MenuViewToolbar()
{
    // Whether the toolbar is meant to show: a checkable item has already flipped its own mark when this
    // runs, and isVisible() is false while the window itself is hidden.
    const bool show = !m_toolBar->isVisibleTo(this);
    m_toolBar->setVisible(show);
    m_commands->action(Command::ViewToolbar).setChecked(show);
}

void frmMain::MenuWindowCascade()
{
    m_mdi->cascadeSubWindows();
}

void frmMain::MenuWindowTileHorizontal()
{
    // Documents one above the other, each the full width.
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const int height = area.height() / int(windows.size());
    int y = 0;
    for (QMdiSubWindow *window : windows) {
        window->showNormal();
        window->setGeometry(0, y, area.width(), height);
        y += height;
    }
}

void frmMain::MenuWindowTileVertical()
{
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const int width = area.width() / int(windows.size());
    int x = 0;
    for (QMdiSubWindow *window : windows) {
        window->showNormal();
        window->setGeometry(x, 0, width, area.height());
        x += width;
    }
}

void frmMain::showHelp(int contextNumber)
{
    // A modal window blocks every window but its own children: its help belongs to it.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != this) {
        auto *help = modal->findChild<frmHelp *>(QString(), Qt::FindDirectChildrenOnly);
        if (!help)
            help = new frmHelp(modal);
        help->showTopic(m_helpFile, contextNumber);
        return;
    }
    if (!m_help)
        m_help = new frmHelp(this);
    m_help->showTopic(m_helpFile, contextNumber);
}

void frmMain::MenuHelpApp()
{
    showHelp(0);
}

void frmMain::MenuHelpConnCheck()
{
    if (m_shared->link->exchangeRunning()) {
        TellUser::link(CSerialLink::busyResult());
        return;
    }
    // The port the search left open for the next exchange would count as in use; the next exchange
    // opens it again.
    m_shared->link->CloseAllPorts();
    frmConnCheck check(*m_shared->device, *m_shared->communication, ProgramFolder::onlyKlaro7(*m_shared->ini),
                       this);
    check.exec();
}

void frmMain::MenuHelpAbout()
{
    frmAbout about(*m_shared->ini, this);
    about.exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!CloseAllDocuments()) {
        event->ignore();
        return;
    }
    savePosition();
    m_link.COMStop();
    m_link.CloseAllPorts();
    event->accept();
}

bool frmMain::UpdateCommandStates(bool flag)
{
    return basMain::UpdateCommandStates(*this, flag);
}
