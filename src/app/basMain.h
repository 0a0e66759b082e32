#pragma once
// The start-up sequence and the enabling of commands by meter state, edition and open documents.
class frmMain;

namespace basMain {

// Load of the main window, login, first meter search; false when the program is to end (no login).
bool Main(frmMain &main);

// Enables the commands by meter state, edition and open documents. flag is false when a closing
// document calls (it is then still counted).
bool UpdateCommandStates(frmMain &main, bool flag);

} // namespace basMain
