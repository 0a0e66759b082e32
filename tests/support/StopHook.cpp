// The test copy of meravo-cli for the stop tables: when it reaches the step named in MERAVO_STOP_AT
// ("step" or "step#N" for its N-th time) it sends itself the signals in MERAVO_STOP_SIGNALS (numbers,
// "15", or "15,15" for a second one while the first is still being handled), as Ctrl-C or systemd's
// stop would. MERAVO_STOP_LOG gets every step reached and "signalled MS" (CLOCK_MONOTONIC) at the
// signal, so a test can list the steps first, stop at each in turn and time the stop.
#include "CrashPoints.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_stopAt;
long g_stopAtCount = 1;
long g_reached = 0;
std::vector<int> g_signals;
int g_log = -1;

void note(const std::string &line)
{
    if (g_log >= 0)
        (void)!::write(g_log, line.data(), line.size());
}

void hook(const char *step)
{
    note(std::string(step) + '\n');
    if (g_stopAt != step || ++g_reached != g_stopAtCount)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    note("signalled " + std::to_string(now.tv_sec * 1000 + now.tv_nsec / 1000000) + '\n');
    for (const int signal : g_signals)
        ::kill(::getpid(), signal);
}

const bool g_installed = [] {
    if (const char *at = std::getenv("MERAVO_STOP_AT")) {
        g_stopAt = at;
        if (const auto hash = g_stopAt.find('#'); hash != std::string::npos) {
            g_stopAtCount = std::strtol(g_stopAt.c_str() + hash + 1, nullptr, 10);
            g_stopAt.resize(hash);
        }
    }
    if (const char *list = std::getenv("MERAVO_STOP_SIGNALS")) {
        for (char *end = nullptr; *list != 0; list = *end != 0 ? end + 1 : end) {
            g_signals.push_back(int(std::strtol(list, &end, 10)));
            if (end == list)
                break;
        }
    }
    if (const char *log = std::getenv("MERAVO_STOP_LOG"))
        g_log = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    CrashPoints::setHook(&hook);
    return true;
}();

} // namespace
