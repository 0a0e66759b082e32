#include "EndingSignals.h"

#include <array>
#include <atomic>
#include <csignal>

namespace EndingSignals {

namespace {

constexpr std::array kSignals = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE,  SIGALRM,
                                 SIGABRT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};

std::array<std::atomic<Cleanup>, 8> g_cleanups{};
std::atomic<bool> g_installed{false};

void handle(int signalNumber)
{
    for (auto &slot : g_cleanups) {
        if (const Cleanup cleanup = slot.exchange(nullptr))
            cleanup();
    }
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

void install()
{
    if (g_installed.exchange(true))
        return;
    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : kSignals) {
        struct sigaction current = {};
        // Only where the signal would end the program anyway: an ignored or handled one stays so.
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace

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
