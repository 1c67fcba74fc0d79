#pragma once
// One statement in both dialects, side by side where it runs.
#include <QString>
#include <QStringList>

#include "data/dialect.h"

namespace velocast {

struct SqlText {
    QString mssql;   // exactly as the club's SQL Server has always received it
    QString sqlite;  // the same meaning on SQLite
    const QString& in(Dialect dialect) const { return dialect == Dialect::Mssql ? mssql : sqlite; }

    // A statement written once, as a function of the dialect: the parts that differ (a date
    // literal, a date function) are fragments chosen inside `text`, the rest is shared.
    template <typename Text>
    static SqlText written(Text&& text) {
        return {text(Dialect::Mssql), text(Dialect::Sqlite)};
    }
    // The same text in both dialects (values bound as parameters).
    static SqlText same(const QString& text) { return {text, text}; }
};

// SQL Server's default collation ignores letter case and trailing blanks when it compares
// texts with = and <>, and the campaigns' selections rely on it: consent 'sim' or 'Sim ' counts,
// an address of blanks is empty. SQLite compares exactly unless told so.
inline QString sqliteHasAddress(const QString& column) {
    return QStringLiteral("(%1 IS NOT NULL) AND (RTRIM(%1) <> '')").arg(column);
}
inline QString sqliteConsents(const QString& column) {
    return QStringLiteral("(RTRIM(%1) = 'Sim' COLLATE NOCASE)").arg(column);
}

// A statement kept as a list of lines: each line, blanks included, followed by a line break.
inline QString statementLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) text += line + QLatin1Char('\n');
    return text;
}

}  // namespace velocast
