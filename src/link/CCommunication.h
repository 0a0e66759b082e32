#pragma once
// The port and baud rate the last scan found, and the end markers of the meter's answers.
#include "LinkResult.h"

#include <QString>

class CSerialLink;

class CCommunication {
public:
    static constexpr int kLenAnswerEnd = 6;
    static const QString &answerOK();
    static const QString &answerError();
    // Whether an answer may be used: it ends in the answer-OK marker and holds no other end marker.
    // A rejected answer fails, and so do two answers that arrived as one (a late answer and that of
    // the repetition), which would otherwise be taken for one record. Every reader of an answer
    // checks it here.
    static bool IsAccepted(const QString &answer);
    // Whether a payload is one line, as identification texts, records and programs are: a line break
    // in it is a damaged answer or two answers run together, and would break the files it goes into.
    static bool IsOneLine(const QString &payload);

    // link: the serial controls, or null in a set without them (file work only).
    explicit CCommunication(CSerialLink *link) : m_link(link) {}

    int COMPort() const { return m_port; }
    QString Baudrate() const { return m_baudrate; }
    QString AnswerOK() const { return answerOK(); }
    QString AnswerError() const { return answerError(); }
    int LenAnswerEnd() const { return kLenAnswerEnd; }

    // Scans all ports at all baud rates; a failed pass (also one the user stopped) is run once more.
    bool Scan();

    // One command on the port and baud rate found, in the pattern of every exchange: open the link
    // (COMInit, "U.400"), send strSend as it stands, close (COMDeinit). False without a link and
    // when the answer is not accepted (IsAccepted); strAnswer then holds what came.
    bool Exchange(const QString &strSend, QString &strAnswer);
    // A command whose answer is a long listing (datasets, the program list) on link, waiting up to
    // answerTime_s seconds. Whatever ends it other than an accepted answer (a rejection, a stop, a
    // time-out, two answers run together) sends the closing command before the line is let go, since
    // the meter may still be sending; reply is then empty.
    bool ReadListing(CSerialLink &link, const QString &command, int answerTime_s, QString &reply) const;

    // How the last Scan, Exchange or ReadListing ended on the link, with what the user is to be told
    // (the caller tells it, in its own way). A rejected or unusable answer over a working link is no
    // link failure: the call's false says so.
    const LinkResult &lastResult() const { return m_last; }

private:
    CSerialLink *m_link;
    mutable LinkResult m_last;
    int m_port = 1;
    QString m_baudrate = QStringLiteral("4800");
};
