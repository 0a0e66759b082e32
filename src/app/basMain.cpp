#include "basMain.h"

#include "Archive.h"
#include "CDevice.h"
#include "CLogin.h"
#include "Commands.h"
#include "CUsrDefProg.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "ProgramFolder.h"
#include "QcStore.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QAction>

namespace basMain {

bool Main(frmMain &main)
{
    main.show();
    if (!main.Load())
        return false;
    SharedObjects &shared = main.shared();
    const bool onlyKlaro7 = ProgramFolder::onlyKlaro7(*shared.ini);
    main.SetStatusBarCOM(TextTable::text(TextTable::Offline), QString());

    frmLogin login(*shared.login, &main);
    login.exec();
    if (!shared.login->Successful()) {
        main.MenuFileExit();
        return false;
    }
    shared.recordLogin(QString());
    if (shared.login->SearchDevice()) {
        main.SetMousePointer(11);
        main.SearchMeter(onlyKlaro7);
    }
    main.SetStatusBarUserName(shared.login->UserName());
    UpdateCommandStates(main, true);
    // Imports that waited on this PC while the lab's server was away are sent now, before new ones;
    // what stays waiting is sent with the next import.
    if (shared.archive->enabled() && shared.archive->settings().onServer()) {
        main.SetMousePointer(11);
        const Archive::SyncOutcome synced = shared.archive->sync();
        // Values of control samples that waited are judged now that the server holds them.
        const QcStore::Judgement judgement =
            QcStore::judgeNew(*shared.archive, synced.newDatasetIds, shared.login->UserName());
        main.SetMousePointer(0);
        if (judgement.outOfControl)
            main.dialogs().warning(&main, judgement.notices.join(QLatin1Char('\n')));
    }
    return true;
}

bool UpdateCommandStates(frmMain &main, bool flag)
{
    SharedObjects &shared = main.shared();
    const CDevice &device = *shared.device;
    const bool online = device.Online();
    // Asked only of a meter that is there.
    const bool keepsPrograms = online && shared.usrDefProg->MeterKeepsPrograms();
    const bool programs = online ? keepsPrograms : !ProgramFolder::onlyKlaro7(*shared.ini);
    const bool documents = main.NumDocs() >= (flag ? 1 : 2);
    const std::pair<Command, bool> states[] = {
        {Command::Import, online && documents},
        {Command::Export, documents},
        {Command::FileSave, documents},
        {Command::FilePrint, documents},
        {Command::CalRecordPH, programs && (!online || device.SupportsPH())},
        {Command::CalRecordTurbidity, !keepsPrograms || device.SupportsTurbidity()},
        {Command::ProgramsMenu, programs},
        {Command::UserPrograms, programs},
    };
    Commands &commands = main.commands();
    commands.showDocumentCommands(documents);
    for (const auto &[command, enabled] : states)
        commands.action(command).setEnabled(enabled);
    return true;
}

} // namespace basMain
