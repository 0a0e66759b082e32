#include "CrashPoints.h"

#include <atomic>

namespace {
std::atomic<CrashPoints::Hook> g_hook{nullptr};
}

namespace CrashPoints {

void setHook(Hook hook)
{
    g_hook.store(hook);
}

void reach(const char *step)
{
    if (const Hook hook = g_hook.load())
        hook(step);
}

} // namespace CrashPoints
