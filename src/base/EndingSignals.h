#pragma once
// What the program tidies when a signal ends it: temporary files of unfinished writes, the demo's
// simulator and folder. One handler for every signal that ends a program by default and that it can
// catch (all but the crash signals): it runs the registered cleanups, then the program ends by the
// same signal, as it would have without them. A signal the program was told to ignore (nohup's
// SIGHUP) stays ignored.
//
// Work that can end tidily (a meter read, an import, an export, the watcher) asks for the stop signals
// instead (StopCatcher): SIGINT (Ctrl-C) and SIGTERM (systemd's stop) then only ask for a stop. The
// handler sets a flag and makes a descriptor readable, so a wait wakes at once; the work looks at the
// flag at its next step and ends as stopped by the user. A second signal changes nothing: the stop
// under way ends the work as the first asked, without cutting into a commit or a delivery.
namespace EndingSignals {

// Runs inside the signal handler: async-signal-safe calls only.
using Cleanup = void (*)();

// Adds a cleanup (once, however often it is added) and installs the handler; false when the table is
// full. Cleanups run in the order they were added.
bool add(Cleanup cleanup);
void remove(Cleanup cleanup);

// The signals the handler takes (for tests and --help).
const int *signalsHandled(int *count);

// While one lives, SIGINT and SIGTERM ask for a stop (an ignored one stays ignored); the handlers
// before it come back when it goes. Nested catchers share the request.
class StopCatcher {
public:
    StopCatcher();
    ~StopCatcher();
    StopCatcher(const StopCatcher &) = delete;
    StopCatcher &operator=(const StopCatcher &) = delete;
};

// True from the first stop signal on, while a StopCatcher lives.
bool stopRequested();
// The signal that asked first (0: none).
int stopSignal();
// Readable from the first stop request on (-1 while no StopCatcher lives): a wait watches it to wake.
int stopDescriptor();

// For a step that cannot look at the flag (a library writing a file): while code is not 0, a stop
// signal runs the cleanups (the temporary file goes), writes message on stderr and ends the program
// with code at once. 0 gives the signals back to the flag.
void endOnStop(int code, const char *message = nullptr);

} // namespace EndingSignals
