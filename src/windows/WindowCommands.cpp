#include "WindowCommands.h"

#include "frmCalProtocolPH.h"
#include "frmCalProtocolTurb.h"
#include "frmMain.h"
#include "frmProgConsole.h"

namespace WindowCommands {

void install(frmMain &main)
{
    // Each window registers its command here: "mnuProgsUserDef", "mnuCalProtPH", "mnuCalProtTurb".
    Q_UNUSED(main);
    main.setCommandHandler(QStringLiteral("mnuProgsUserDef"), [&main] {
        frmProgConsole console(main);
        console.exec();
    });
    main.setCommandHandler(QStringLiteral("mnuCalProtPH"), [&main] {
        frmCalProtocolPH window(main);
        window.exec();
    });
    main.setCommandHandler(QStringLiteral("mnuCalProtTurb"), [&main] {
        frmCalProtocolTurb window(main);
        window.exec();
    });
}

} // namespace WindowCommands
