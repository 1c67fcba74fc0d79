#include "campaigns/fidelidade_batch.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <optional>
#include <utility>

#include "data/db_error.h"
#include "data/odbc_bound_statement.h"
#include "data/shared_connection.h"

namespace velocast {

namespace {

// Whether the candidate `number` has a payment in `month`. The number matches itself and its
// text with up to kRegistrationWidth characters of leading zeros (printf pads
// after the sign, as the column holds them); each form is a lookup of its own on the index
// on RECEB.MATRICULA, and the first row found ends it. MES and ANO may be text or numbers.
QString paidIn(const QString& number, const CalendarMonth& month) {
    const QString when =
        QStringLiteral(" AND CAST(MES AS INTEGER) = %1 AND CAST(ANO AS INTEGER) = %2").arg(month.month).arg(month.year);
    QStringList forms{QStringLiteral("SELECT 1 FROM RECEB WHERE MATRICULA = ") + number + when};
    for (int width = 1; width <= kRegistrationWidth; ++width)
        forms << QStringLiteral("SELECT 1 FROM RECEB WHERE MATRICULA = printf('%0") + QString::number(width) +
                     QStringLiteral("d', ") + number + QLatin1Char(')') + when;
    return QStringLiteral("EXISTS (") + forms.join(QStringLiteral(" UNION ALL ")) + QLatin1Char(')');
}

// The same on SQL Server, in the words of the statement per member and month.
QString paidInOnSqlServer(const QString& number, const CalendarMonth& month) {
    return QStringLiteral("EXISTS (SELECT MATRICULA FROM RECEB WHERE MATRICULA = %1 AND MES = %2 AND ANO = %3)")
        .arg(number, QStringLiteral("%1").arg(month.month, 2, 10, QLatin1Char('0')),
             QStringLiteral("%1").arg(month.year, 4, 10, QLatin1Char('0')));
}

}  // namespace

LoyaltyBatch::LoyaltyBatch(SharedConnection& connection, const QList<CalendarMonth>& months,
                           std::function<void(const QVariant&)> loyal)
    : connection_(connection), months_(months), loyal_(std::move(loyal)) {
    queued_.reserve(kSize);
}

QString LoyaltyBatch::statement(const QList<CalendarMonth>& months, int size, Dialect dialect) {
    QStringList values;
    for (int i = 0; i < size; ++i) values << QStringLiteral("(?)");
    QStringList paid;
    if (dialect == Dialect::Mssql) {
        for (const CalendarMonth& month : months) paid << paidInOnSqlServer(QStringLiteral("C.N"), month);
        return QStringLiteral("SELECT C.N FROM (VALUES ") + values.join(QLatin1Char(',')) +
               QStringLiteral(") AS C(N) WHERE ") + paid.join(QStringLiteral(" AND "));
    }
    // Oldest month first: the first month without a payment settles a candidate.
    for (const CalendarMonth& month : months) paid << paidIn(QStringLiteral("C.column1"), month);
    return QStringLiteral("SELECT C.column1 FROM (VALUES ") + values.join(QLatin1Char(',')) +
           QStringLiteral(") AS C WHERE ") + paid.join(QStringLiteral(" AND "));
}

void LoyaltyBatch::add(qlonglong number, const QVariant& matricula) {
    queued_.append({number, matricula});
    if (queued_.size() >= kSize) flush();
}

QSet<qlonglong> LoyaltyBatch::lookUp() const {
    if (!connection_.isOpen()) connection_.open();
    QList<qlonglong> paidSoFar;
    for (const Candidate& c : queued_) paidSoFar << c.number;
    // A statement examines at most kMaxMonths months; a longer stretch goes a part at a time,
    // oldest first, each part asking only about the candidates that paid every month before.
    for (qsizetype from = 0; from < months_.size() && !paidSoFar.isEmpty(); from += kMaxMonths)
        paidSoFar = paidInEveryMonth(months_.mid(from, kMaxMonths), paidSoFar);
    return QSet<qlonglong>(paidSoFar.cbegin(), paidSoFar.cend());
}

QList<qlonglong> LoyaltyBatch::paidInEveryMonth(const QList<CalendarMonth>& months,
                                                const QList<qlonglong>& numbers) const {
    if (connection_.dialect() == Dialect::Mssql) {
        // Every batch is as long as a full one, so that one statement prepared on the
        // connection serves the whole walk; the places left hold NULL, which equals no
        // registration number, so the server answers only for the candidates.
        QVariantList values;
        for (qlonglong n : numbers) values << QVariant::fromValue<qlonglong>(n);
        while (values.size() < kSize) values << QVariant(QMetaType::fromType<qlonglong>());
        return connection_.odbcStatements().integers(connection_.database(), statement(months, kSize, Dialect::Mssql),
                                                     values);
    }
    // A full batch reuses one prepared statement; a shorter one (the last) is prepared for
    // its one run. SQLite's printf() makes a text of NULL, so no padding here.
    const QString sql = statement(months, static_cast<int>(numbers.size()));
    std::optional<QSqlQuery> once;
    QSqlQuery* query = nullptr;
    if (numbers.size() == kSize) {
        query = &connection_.preparedStatement(sql);
    } else {
        once.emplace(connection_.database());
        once->setForwardOnly(true);
        if (!once->prepare(sql)) throw DbError(once->lastError().text().trimmed());
        query = &*once;
    }
    for (int i = 0; i < numbers.size(); ++i) query->bindValue(i, numbers[i]);
    if (!query->exec()) throw DbError(query->lastError().text().trimmed());
    QList<qlonglong> paid;
    while (query->next()) paid << query->value(0).toLongLong();
    const QSqlError error = query->lastError();
    query->finish();
    if (error.isValid()) throw DbError(error.text().trimmed());
    return paid;
}

void LoyaltyBatch::flush() {
    if (queued_.isEmpty()) return;
    const QSet<qlonglong> paidEveryMonth = lookUp();
    const QList<Candidate> decided = std::exchange(queued_, {});
    for (const Candidate& candidate : decided)
        if (paidEveryMonth.contains(candidate.number)) loyal_(candidate.matricula);
}

}  // namespace velocast
