#pragma once
// Named steps of work that must keep a promise through a crash (a delivery between its record and its
// file, an import between its commit and its verdict). The program itself never stops there: only a
// test build installs a hook, so a test can end the process at each step in turn and then compare what
// is left with what was promised.
namespace CrashPoints {

using Hook = void (*)(const char *step);

// Installs the hook every later reach() calls (nullptr: none, the program's own state).
void setHook(Hook hook);

// The work has come to this step. Without a hook: nothing.
void reach(const char *step);

} // namespace CrashPoints
