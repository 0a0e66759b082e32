// The test copy of meravo-cli: it ends itself with SIGKILL, as `kill -9` would, when it reaches the
// step named in MERAVO_CRASH_AT ("step" or "step#N" for its N-th time), and notes every step it
// reaches in the file MERAVO_CRASH_LOG, so a test can list the steps first and then stop at each.
#include "CrashPoints.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_stopAt;
long g_stopAtCount = 1;
long g_reached = 0;
int g_log = -1;

void hook(const char *step)
{
    if (g_log >= 0) {
        const std::string line = std::string(step) + '\n';
        (void)!::write(g_log, line.data(), line.size());
    }
    if (g_stopAt == step && ++g_reached == g_stopAtCount)
        ::kill(::getpid(), SIGKILL);
}

const bool g_installed = [] {
    if (const char *at = std::getenv("MERAVO_CRASH_AT")) {
        g_stopAt = at;
        if (const auto hash = g_stopAt.find('#'); hash != std::string::npos) {
            g_stopAtCount = std::strtol(g_stopAt.c_str() + hash + 1, nullptr, 10);
            g_stopAt.resize(hash);
        }
    }
    if (const char *log = std::getenv("MERAVO_CRASH_LOG"))
        g_log = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    CrashPoints::setHook(&hook);
    return true;
}();

} // namespace
