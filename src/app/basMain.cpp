#include "basMain.h"

#include "Archive.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "frmDocument.h"
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
    main.SetStatusBarCOM(TextTable::text(1062), QString());

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
    const bool onlyKlaro7 = ProgramFolder::onlyKlaro7(*shared.ini);
    const QList<frmDocument *> docs = main.documents();

    auto setMenu = [&](const char *name, bool enabled, bool inDocuments, bool inMain) {
        const QString item = QString::fromLatin1(name);
        if (inDocuments) {
            for (frmDocument *doc : docs)
                if (QAction *action = doc->menuAction(item))
                    action->setEnabled(enabled);
        }
        if (inMain)
            if (QAction *action = main.menuAction(item))
                action->setEnabled(enabled);
    };
    auto setButton = [&](const char *key, bool enabled) {
        if (QAction *action = main.toolButton(QString::fromLatin1(key)))
            action->setEnabled(enabled);
    };

    setMenu("mnuImport", true, true, false);
    for (const char *name : {"mnuCalProtPH", "mnuCalProtTurb", "mnuPrograms"})
        setMenu(name, true, true, true);
    for (const char *key : {"UsrProgs", "Save", "Print", "Import", "Export"})
        setButton(key, true);

    if (device.Online()) {
        if (!shared.usrDefProg->MeterKeepsPrograms()) {
            setMenu("mnuCalProtPH", false, true, true);
            setMenu("mnuPrograms", false, true, true);
            setButton("UsrProgs", false);
        } else {
            if (!device.SupportsPH())
                setMenu("mnuCalProtPH", false, true, true);
            if (!device.SupportsTurbidity())
                setMenu("mnuCalProtTurb", false, true, true);
        }
    } else {
        setMenu("mnuImport", false, true, false);
        setButton("Import", false);
        if (onlyKlaro7) {
            setMenu("mnuCalProtPH", false, true, true);
            setMenu("mnuPrograms", false, true, true);
            setButton("UsrProgs", false);
        }
    }

    if (main.NumDocs() < (flag ? 1 : 2)) {
        for (const char *key : {"Save", "Print", "Import", "Export"})
            setButton(key, false);
    }
    return true;
}

} // namespace basMain
