#pragma once
// What the program tidies when a signal ends it: temporary files of unfinished writes, the demo's
// simulator and folder. One handler for every signal that ends a program by default and that it can
// catch (all but the crash signals): it runs the registered cleanups, then the program ends by the
// same signal, as it would have without them. A signal the program was told to ignore (nohup's
// SIGHUP) stays ignored.
namespace EndingSignals {

// Runs inside the signal handler: async-signal-safe calls only.
using Cleanup = void (*)();

// Adds a cleanup (once, however often it is added) and installs the handler; false when the table is
// full. Cleanups run in the order they were added.
bool add(Cleanup cleanup);
void remove(Cleanup cleanup);

// The signals the handler takes (for tests and --help).
const int *signalsHandled(int *count);

} // namespace EndingSignals
