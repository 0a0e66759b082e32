#pragma once
// Which archived datasets a query, an export or the archive window asks for. Every value is typed
// text; it reaches the database only as a bound parameter.
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

struct ArchiveFilter {
    QString meter;   // serial number, exact
    QString program; // exact
    QString unit;    // exact, of Unit1 or Unit2
    QString idText;  // part of the sample ID
    QString status;  // exact, of Status1 or Status2
    QString code;    // exact, the AR/BV/Cal or AQA/Cal column
    QString user;    // login name at the import, exact
    QDate from;      // dataset dates, inclusive
    QDate to;
    bool conflictsOnly = false;
    bool includeWithdrawn = false; // withdrawn datasets are left out unless asked for

    // Longest text a filter field takes; more is refused, not cut.
    static constexpr int kMaxText = 200;

    // Reads an ISO date (2026-03-24); false for anything else, 2026-02-30 included.
    static bool readDate(const QString &text, QDate *date);
    // Empty when the filter may run; otherwise why not, for the user.
    QString problem() const;

    // The WHERE clause over the datasets table "d" joined with imports "i" (never empty: "1=1"
    // without conditions) and its parameters, in order.
    QString whereClause(QVariantList *parameters) const;
};
