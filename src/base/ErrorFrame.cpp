#include "ErrorFrame.h"

#include <QtGlobal>

namespace ErrorFrame {
namespace {
Handler &currentHandler()
{
    static Handler handler;
    return handler;
}
} // namespace

Handler setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

void report(const QString &description)
{
    if (const Handler &handler = currentHandler())
        handler(description);
    else
        qWarning("%s", qUtf8Printable(description));
}

} // namespace ErrorFrame
