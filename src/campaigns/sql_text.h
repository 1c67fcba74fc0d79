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
// A text column equal to a word, as the club's server compares them.
inline QString sqliteEqualsWord(const QString& column, const QString& word) {
    return QStringLiteral("(RTRIM(%1) = '%2' COLLATE NOCASE)").arg(column, word);
}
inline QString sqliteConsents(const QString& column) { return sqliteEqualsWord(column, QStringLiteral("Sim")); }
// An empty text, or one of blanks.
inline QString sqliteIsBlank(const QString& column) { return QStringLiteral("(RTRIM(%1) = '')").arg(column); }
// The recipients' test most selections share: an address and the member's consent.
inline QString sqliteRecipients(const QString& addressColumn,
                                const QString& consentColumn = QStringLiteral("RECEBER_EMAIL")) {
    return QStringLiteral("(") + sqliteHasAddress(addressColumn) + QStringLiteral(" AND ") +
           sqliteConsents(consentColumn) + QStringLiteral(")");
}

// A statement kept as a list of lines: each line, blanks included, followed by a line break.
inline QString statementLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) text += line + QLatin1Char('\n');
    return text;
}

}  // namespace velocast
