#include "WindowCommands.h"

#include "frmMain.h"

namespace WindowCommands {

void install(frmMain &main)
{
    // Each window registers its command here: "mnuProgsUserDef", "mnuCalProtPH", "mnuCalProtTurb".
    Q_UNUSED(main);
}

} // namespace WindowCommands
