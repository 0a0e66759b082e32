#pragma once
// What became of an operation of the link, with the failures told apart, so that a caller can choose
// what to do and how to say it (a status line, a message box, an exit code) without reading the
// message back.
#include <QString>
#include <QStringList>

enum class LinkFailure {
    None,
    NoPermission, // the port exists, but this user may not open it
    InUse,        // another program holds the port
    Vanished,     // the port is gone (unplugged, renamed) or there is none
    OpenFailed,   // the system refused the port for another reason
    NoAnswer,     // the answer time ran out
    Stopped,      // the user stopped the exchange
    TooLong,      // the answer passed the cap
    LineLost,     // the line broke or was closed during the exchange
    Rejected,     // the meter answered with its error marker
    Busy,         // another exchange was waiting on the line
};

struct LinkResult {
    LinkFailure failure = LinkFailure::None;
    // The words for the user, in the chosen language, where the user is told of this failure; empty
    // where the caller words it itself (a time-out, a stop, a rejection) or there is nothing to tell.
    QString message{};
    // What earlier steps of the same operation had to tell although the operation went on (a port a
    // search could not open, a first try that ended otherwise than the second), in order.
    QStringList earlier{};

    bool ok() const { return failure == LinkFailure::None; }
    explicit operator bool() const { return ok(); }

    // Everything to tell the user, in the order it happened.
    QStringList messages() const
    {
        QStringList all = earlier;
        if (!message.isEmpty())
            all.append(message);
        return all;
    }

    // The operation went on with a later step: its failure is the later one's, and what both had to
    // tell is kept in order, each text once (a second try does not tell the first one's words again).
    LinkResult then(const LinkResult &later) const
    {
        LinkResult next{later.failure, later.message, messages()};
        for (const QString &text : later.earlier) {
            if (!next.earlier.contains(text))
                next.earlier.append(text);
        }
        if (next.earlier.contains(next.message))
            next.message.clear();
        return next;
    }
};
