#pragma once
// Where core code reports an unexpected error: the program shows it, the CLI prints it, tests record it.
#include <QString>

#include <functional>

namespace ErrorFrame {

using Handler = std::function<void(const QString &description)>;

// Installs the handler and returns the one it replaces. Without a handler, reports go to qWarning.
Handler setHandler(Handler handler);

void report(const QString &description);

// Installs a handler for the lifetime of the object and puts the previous one back afterwards.
class ScopedHandler {
public:
    explicit ScopedHandler(Handler handler) : m_previous(setHandler(std::move(handler))) {}
    ~ScopedHandler() { setHandler(std::move(m_previous)); }
    ScopedHandler(const ScopedHandler &) = delete;
    ScopedHandler &operator=(const ScopedHandler &) = delete;

private:
    Handler m_previous;
};

} // namespace ErrorFrame
