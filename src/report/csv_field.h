#pragma once
// Every CSV the program writes goes through here: a manager opens these files in a
// spreadsheet, and a member's address or a subject comes from data anyone may have typed.
#include <QString>
#include <QStringList>

namespace velocast {

// One CSV field: quoted as RFC 4180 says when it holds a comma, a quote or a line break (its
// quotes doubled). A field that a spreadsheet would take for a formula (it begins with "=",
// "+", "-", "@", a tab or a carriage return) gets a leading "'", so that it shows as text and
// never runs.
QString csvField(const QString& value);
// One record: each field through csvField, joined by commas (no line end).
QString csvRecord(const QStringList& fields);

}  // namespace velocast
