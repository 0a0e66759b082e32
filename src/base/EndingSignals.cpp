#include "EndingSignals.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace EndingSignals {

namespace {

constexpr std::array kSignals = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE,  SIGALRM,
                                 SIGABRT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};

std::array<std::atomic<Cleanup>, 8> g_cleanups{};
std::atomic<bool> g_installed{false};

void runCleanups()
{
    for (auto &slot : g_cleanups) {
        if (const Cleanup cleanup = slot.exchange(nullptr))
            cleanup();
    }
}

void handle(int signalNumber)
{
    runCleanups();
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signalNumber);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signalNumber);
}

struct sigaction endingAction()
{
    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kSignals)
        sigaddset(&action.sa_mask, signalNumber);
    return action;
}

void install()
{
    if (g_installed.exchange(true))
        return;
    const struct sigaction action = endingAction();
    for (const int signalNumber : kSignals) {
        struct sigaction current = {};
        // Only where the signal would end the program anyway: an ignored or handled one stays so.
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::sigaction(signalNumber, &action, nullptr);
    }
}

constexpr std::array kStopSignals = {SIGINT, SIGTERM};

std::atomic<int> g_stopSignal{0};
std::atomic<int> g_stopWrite{-1};
int g_stopRead = -1;
std::atomic<int> g_endCode{0};
std::atomic<const char *> g_endMessage{nullptr};
// Touched by the thread that makes and ends the catchers only.
int g_catchers = 0;
std::array<struct sigaction, kStopSignals.size()> g_beforeStop{};
std::array<bool, kStopSignals.size()> g_caught{};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const char *>::is_always_lock_free);

void handleStop(int signalNumber)
{
    const int savedErrno = errno;
    if (const int code = g_endCode.load()) {
        runCleanups();
        if (const char *message = g_endMessage.load())
            (void)!::write(STDERR_FILENO, message, std::strlen(message));
        ::_exit(code);
    }
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signalNumber);
    // Non-blocking: once the pipe holds a byte, the wake-up is there; more bytes add nothing.
    if (const int fd = g_stopWrite.load(); fd >= 0) {
        const char byte = 1;
        (void)!::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

StopCatcher::StopCatcher()
{
    if (g_catchers++ > 0)
        return;
    g_stopSignal = 0;
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
        g_stopRead = fds[0];
        g_stopWrite = fds[1];
    }
    struct sigaction action = {};
    action.sa_handler = handleStop;
    // Interrupted system calls go on: the work looks at the flag, no read or write fails half-way.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kStopSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        g_caught[i] = ::sigaction(kStopSignals[i], nullptr, &g_beforeStop[i]) == 0 &&
                      g_beforeStop[i].sa_handler != SIG_IGN &&
                      ::sigaction(kStopSignals[i], &action, nullptr) == 0;
    }
}

StopCatcher::~StopCatcher()
{
    if (--g_catchers > 0)
        return;
    // After a stop the program is on its way out with its own exit code: a further signal (systemd's
    // repeat, a second Ctrl-C) must not end it by the default action on the way.
    const bool stopping = g_stopSignal.load() != 0;
    for (size_t i = 0; i < kStopSignals.size() && !stopping; ++i) {
        if (!g_caught[i])
            continue;
        // The ending handler, installed meanwhile, takes the signal where it would have ended the program.
        const bool ending = g_installed && g_beforeStop[i].sa_handler == SIG_DFL;
        const struct sigaction back = ending ? endingAction() : g_beforeStop[i];
        ::sigaction(kStopSignals[i], &back, nullptr);
        g_caught[i] = false;
    }
    const int writeEnd = g_stopWrite.exchange(-1);
    if (writeEnd >= 0)
        ::close(writeEnd);
    if (g_stopRead >= 0)
        ::close(g_stopRead);
    g_stopRead = -1;
    g_stopSignal = 0;
    g_endCode = 0;
}

bool stopRequested()
{
    return g_stopSignal.load() != 0;
}

int stopSignal()
{
    return g_stopSignal.load();
}

int stopDescriptor()
{
    return g_stopRead;
}

void endOnStop(int code, const char *message)
{
    g_endMessage = message;
    g_endCode = code;
}

bool add(Cleanup cleanup)
{
    install();
    for (auto &slot : g_cleanups) {
        if (slot.load() == cleanup)
            return true;
    }
    for (auto &slot : g_cleanups) {
        Cleanup empty = nullptr;
        if (slot.compare_exchange_strong(empty, cleanup))
            return true;
    }
    return false;
}

void remove(Cleanup cleanup)
{
    for (auto &slot : g_cleanups) {
        Cleanup expected = cleanup;
        slot.compare_exchange_strong(expected, nullptr);
    }
}

const int *signalsHandled(int *count)
{
    *count = int(kSignals.size());
    return kSignals.data();
}

} // namespace EndingSignals
