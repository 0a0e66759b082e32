#pragma once
// What every harness shares: invariant checks that abort with their text, and an error frame that counts
// reports instead of showing them.
#include "ErrorFrame.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

namespace Fuzz {

[[noreturn]] inline void broken(const char *what)
{
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// Error reports so far; every report must say something.
inline int &reports()
{
    static int count = 0;
    return count;
}

inline void installSilentErrorFrame()
{
    static const bool installed = [] {
        ErrorFrame::setHandler([](const QString &description) {
            if (description.isEmpty())
                broken("an error report without text");
            ++reports();
        });
        return true;
    }();
    (void)installed;
}

} // namespace Fuzz

#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            Fuzz::broken(#condition);                                                                        \
    } while (0)
