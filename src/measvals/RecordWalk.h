#pragma once
// One pass over the records of a raw dataset text, with the exact record rules of the dataset reply,
// in time linear in the text's length: fields are views into the text, nothing is copied per record.
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

class RecordWalk {
public:
    static constexpr int kMaxFields = 14;

    // The walk shares the text (no copy); fieldCount is the table layout's column count.
    RecordWalk(const QString &strMVals, int fieldCount);

    // False when the walk cannot run at all: a text shorter than 2 characters or more than 14 fields.
    bool ok() const { return m_ok; }
    // Moves to the next record; false at the end (a line shorter than 2 characters or no CR LF left).
    bool next();
    // Field i of the current record (empty beyond the fields the line has).
    QStringView field(int i) const { return m_fields[size_t(i)]; }
    // The current record's whole line, surplus fields included, without its CR LF.
    QStringView line() const { return m_line; }
    int fieldCount() const { return m_fieldCount; }
    // Records taken so far; the current record's number, counted from 1.
    qsizetype recordNumber() const { return m_records; }
    // The current record's fields as strings (for callers that keep them).
    QStringList fields() const;

    // The record rule on a rest that has had its leading CR LF cut: on success the fields are views
    // into rest and rest is moved to the CR LF that ended the record.
    static bool extract(QStringView &rest, QStringView *fields, int fieldCount);

private:
    QString m_text;
    QStringView m_rest;
    int m_fieldCount;
    bool m_ok;
    qsizetype m_records = 0;
    std::array<QStringView, kMaxFields> m_fields{};
    QStringView m_line;
};
