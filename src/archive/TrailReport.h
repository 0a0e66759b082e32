#pragma once
// The trail as people read it: in the Trail window, on paper and in a PDF file, with the same columns
// and the same marks, so a printout says what the window showed.
#include "CPrint.h"
#include "Trail.h"

namespace TrailReport {

// The reason before the details: on paper, details too wide for the page go into a section of their
// own, and what a person wrote stays beside the action.
enum Column { Seq, Time, Account, Login, Host, Action, Object, Reason, Details, ColumnCount };

QString header(Column column);
// The time as the PC that acted showed it, with its offset ("2026-03-02 09:30:00 +01:00"), marked when
// that PC's clock had gone back.
QString localTime(const TrailEntry &entry);
QString cell(const TrailEntry &entry, Column column);
// Why an entry is marked; empty for one that is not.
QString clockBackNote(const TrailEntry &entry);

// The entries a filter found, headed by the period, the filter and who printed them when.
TablePrintout printout(const QList<TrailEntry> &entries, const TrailFilter &filter, const QString &login,
                       const QDateTime &printedAt);

} // namespace TrailReport
