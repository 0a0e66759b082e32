#pragma once
// Connects the main window's menu commands to the windows that serve them.
class frmMain;

namespace WindowCommands {
void install(frmMain &main);
} // namespace WindowCommands
