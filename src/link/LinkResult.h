#pragma once
// What became of an operation of the link, with the failures told apart, so that a caller can choose
// what to do and how to say it (a status line, a message box, an exit code) without reading the
// message back.
#include <QString>

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
    // The words for the user, in the chosen language, where the link has them (empty on success).
    QString message;

    bool ok() const { return failure == LinkFailure::None; }
    explicit operator bool() const { return ok(); }
};
