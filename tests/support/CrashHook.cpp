// The test copy of meravo-cli: it ends itself with SIGKILL, as `kill -9` would, when it reaches the
// step named in MERAVO_CRASH_AT ("step" or "step#N" for its N-th time), and notes every step it
// reaches in the file MERAVO_CRASH_LOG, so a test can list the steps first and then stop at each.
// MERAVO_CRASH_SIGNALS ("15", "2", "15,15") sends those signals there instead, as Ctrl-C or systemd's
// stop would, and notes "signalled MS" (CLOCK_MONOTONIC) in the log, so a test can time the stop.
#include "CrashPoints.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_stopAt;
long g_stopAtCount = 1;
long g_reached = 0;
int g_log = -1;
std::vector<int> g_signals;

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
    if (g_signals.empty())
        ::kill(::getpid(), SIGKILL);
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    note("signalled " + std::to_string(now.tv_sec * 1000 + now.tv_nsec / 1000000) + '\n');
    for (const int signal : g_signals)
        ::kill(::getpid(), signal);
}

const bool g_installed = [] {
    if (const char *at = std::getenv("MERAVO_CRASH_AT")) {
        g_stopAt = at;
        if (const auto hash = g_stopAt.find('#'); hash != std::string::npos) {
            g_stopAtCount = std::strtol(g_stopAt.c_str() + hash + 1, nullptr, 10);
            g_stopAt.resize(hash);
        }
    }
    for (const char *list = std::getenv("MERAVO_CRASH_SIGNALS"); list != nullptr && *list != 0;) {
        char *end = nullptr;
        g_signals.push_back(int(std::strtol(list, &end, 10)));
        list = *end == ',' ? end + 1 : nullptr;
    }
    if (const char *log = std::getenv("MERAVO_CRASH_LOG"))
        g_log = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    CrashPoints::setHook(&hook);
    return true;
}();

} // namespace
