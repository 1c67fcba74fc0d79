#include "campaigns/fidelidade.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstdint>

#include "campaigns/loyalty_batch.h"
#include "campaigns/loyalty_due.h"
#include "data/db_error.h"
#include "data/odbc_bound_statement.h"
#include "data/session.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

const QString Fidelidade::kDatabaseDetail = QStringLiteral("Banco de Dados");
const QString Fidelidade::kRunTableDetail = QStringLiteral("Tempfedelidade");

namespace {

const QString kMemberWalk = QStringLiteral("SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS");

Fidelidade::Month monthBack(const DateTime& businessDate, std::int64_t back) {
    const QDate d = businessDate.date();
    const std::int64_t index = std::int64_t(d.year()) * 12 + (d.month() - 1) - back;
    // Floor division: a count reaching before the year 1 gives a year below 1, never paid.
    const std::int64_t year = index >= 0 ? index / 12 : -((-index + 11) / 12);
    return {static_cast<int>(std::max<std::int64_t>(year, -1)), static_cast<int>(index - year * 12 + 1)};
}

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }
QString fourDigits(int value) { return QStringLiteral("%1").arg(value, 4, 10, QLatin1Char('0')); }

// Every way a registration number can be stored as text with leading zeros, and the number
// itself: an equality the index on RECEB.MATRICULA serves, unlike a cast of the column.
QString storedForms(const QString& literal) {
    QString digits = literal;
    QString sign;
    if (digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-'))) {
        if (digits.startsWith(QLatin1Char('-'))) sign = QStringLiteral("-");
        digits.remove(0, 1);
    }
    QString core = digits;
    while (core.size() > 1 && core.startsWith(QLatin1Char('0'))) core.remove(0, 1);
    if (core == QLatin1String("0")) sign.clear();
    QStringList forms;
    const int widest = std::max<int>(Fidelidade::kRegistrationWidth, static_cast<int>(literal.size()));
    for (QString form = sign + core; form.size() <= widest; form = sign + QLatin1Char('0') + form.mid(sign.size()))
        forms << QLatin1Char('\'') + form + QLatin1Char('\'');
    forms << sign + core;
    return forms.join(QStringLiteral(", "));
}

// The run table's column, as the session opening creates it.
constexpr int kRunTableWidth = 10;
// SQL Server takes at most 1,000 rows in one VALUES list of an INSERT.
constexpr qsizetype kRowsPerInsert = 1000;

// The registration numbers into the run table, as the walk read them, by one INSERT per
// thousand rows.
void insertRunTableRows(SharedConnection& connection, const QString& runTable, const QVariantList& matriculas) {
    for (qsizetype from = 0; from < matriculas.size(); from += kRowsPerInsert) {
        const QVariantList rows = matriculas.mid(from, kRowsPerInsert);
        QStringList markers;
        QVariantList values;
        for (const QVariant& m : rows) {
            markers << QStringLiteral("(?)");
            // Text, as the column holds it, whatever type the walk gave it.
            values << (m.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(m.toString()));
        }
        connection.odbcStatements().exec(connection.database(),
                                         QStringLiteral("INSERT INTO ") + runTable + QStringLiteral(" (MATRICULA) VALUES ") +
                                             markers.join(QLatin1Char(',')),
                                         values, QList<int>(rows.size(), kRunTableWidth));
    }
}

}  // namespace

const CampaignColumns& Fidelidade::columns() const { return campaignColumns(CampaignId::FIDELIDADE); }

bool Fidelidade::isDue(const Session& session) const { return loyaltyDayDue(session); }

QList<Fidelidade::Month> Fidelidade::monthsExamined(const DateTime& businessDate, int count) {
    QList<Month> months;
    for (int back = count; back >= 1; --back) months.append(monthBack(businessDate, back));
    return months;
}

std::optional<QString> Fidelidade::integerLiteral(const QString& matricula) {
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    const QString literal = matricula.trimmed();
    if (!integer.match(literal).hasMatch()) return std::nullopt;
    return literal;
}

std::optional<SqlText> Fidelidade::paymentLookup(const QString& matricula, const Month& month) {
    const std::optional<QString> literal = integerLiteral(matricula);
    if (!literal) return std::nullopt;
    const QString mm = twoDigits(month.month);
    const QString yyyy = fourDigits(month.year);
    return SqlText::written([&](Dialect d) {
        // SQL Server turns the column into a number to compare it with the bare literals.
        // SQLite would compare the text '00123' with 123 as text, so the stored forms of the
        // number are listed, and the month and year (text or numbers) are made numbers.
        if (d == Dialect::Mssql)
            return QStringLiteral("SELECT MATRICULA FROM RECEB WHERE MATRICULA = ") + *literal +
                   QStringLiteral(" AND MES = ") + mm + QStringLiteral(" AND ANO = ") + yyyy;
        return QStringLiteral("SELECT MATRICULA FROM RECEB WHERE MATRICULA IN (") + storedForms(*literal) +
               QStringLiteral(") AND CAST(MES AS INTEGER) = ") + mm + QStringLiteral(" AND CAST(ANO AS INTEGER) = ") +
               yyyy;
    });
}

SqlText Fidelidade::selection(const QString& runTable) {
    return SqlText::written([&](Dialect d) {
        // SQL Server's collation ignores case and trailing blanks: 'sim ' consents, a plan
        // code of blanks is no plan.
        const bool mssql = d == Dialect::Mssql;
        const QString consent =
            mssql ? QStringLiteral("(A.RECEBER_EMAIL = 'Sim')") : sqliteConsents(QStringLiteral("A.RECEBER_EMAIL"));
        const QString noPlan = mssql ? QStringLiteral("(A.PLANOS = '')") : sqliteIsBlank(QStringLiteral("A.PLANOS"));
        return statementLines({
            QStringLiteral("SELECT A.EMAIL "),
            QStringLiteral("FROM ALUNOSATIVOS A, ") + runTable + QStringLiteral(" B"),
            QStringLiteral("WHERE (A.MATRICULA = B.MATRICULA)  "),
            QStringLiteral(" AND ((A.EMAIL IS NOT NULL ) AND ") + consent + QStringLiteral(") "),
            QStringLiteral(" AND  ((A.PLANOS IS NULL) OR ") + noPlan + QStringLiteral(") "),
        });
    });
}

bool Fidelidade::isLoyal(CampaignRun& run, const QString& matricula, int months) {
    if (months <= 0) return true;
    const std::optional<QString> literal = integerLiteral(matricula);
    if (!literal) throw CampaignStepError(kDatabaseDetail, "a registration number is not a whole number");
    // Oldest month first; the first month without a payment settles it.
    for (int back = months; back >= 1; --back) {
        const Month month = monthBack(run.businessDate(), back);
        if (month.year < 1) return false;
        const bool paid = asStep(kDatabaseDetail, [&] {
            QSqlQuery q = runSql(run.session().connection(), paymentLookup(*literal, month)->in(run.dialect()));
            if (q.next()) return true;
            if (q.lastError().isValid()) throw DbError(q.lastError().text().trimmed());
            return false;
        });
        if (!paid) return false;
    }
    return true;
}

void Fidelidade::fill(CampaignRun& run) {
    Session& session = run.session();
    const QString runTable = session.runTableName();
    // Without the table this session created, the name may be a host table's: leave it alone.
    if (!session.runTableCreated())
        throw CampaignStepError(kDatabaseDetail, "the run table was not created");
    asStep(kDatabaseDetail, [&] { run.exec(SqlText::same(QStringLiteral("DELETE FROM ") + runTable)); });

    {
        // The members stream past one at a time. SQL Server serves one open result per
        // connection, so there the walk reads on a connection of its own while the lookups
        // and the run table use the shared one; SQLite reads beside its own writes, and a
        // second SQLite connection would hold a lock that the writes have to wait for.
        std::unique_ptr<SharedConnection> own;
        SharedConnection* walkOn = &session.connection();
        if (run.dialect() == Dialect::Mssql) {
            own = asStep(kDatabaseDetail, [&] { return run.openReadOnlyConnection(QStringLiteral("TBLALUNOS")); });
            walkOn = own.get();
        }
        QSqlQuery members = asStep(kDatabaseDetail, [&] { return runSql(*walkOn, kMemberWalk); });
        const auto nextMember = [&] {
            if (members.next()) return true;
            if (members.lastError().isValid()) throw DbError(members.lastError().text().trimmed());
            return false;
        };
        const int months = asStep(kDatabaseDetail, [&] {
            return run.settings().value(QStringLiteral("FIDELIDADE_MESES")).toInt();  // NULL reads 0
        });
        const QString insertLoyal =
            QStringLiteral("INSERT INTO ") + runTable + QStringLiteral(" (MATRICULA) VALUES (:MATRICULA)");
        // On SQL Server the loyal members of a batch go into the run table by one statement,
        // each a round trip over the network; SQLite writes them one by one, at no such cost.
        const bool mssql = run.dialect() == Dialect::Mssql;
        QVariantList loyalToWrite;
        const auto writeLoyal = [&] {
            if (loyalToWrite.isEmpty()) return;
            asStep(kRunTableDetail, [&] { insertRunTableRows(session.connection(), runTable, loyalToWrite); });
            loyalToWrite.clear();
        };
        const auto keepLoyal = [&](const QVariant& matricula) {
            if (mssql) {
                loyalToWrite << matricula;
                return;
            }
            asStep(kRunTableDetail, [&] {
                runPrepared(session.connection(), insertLoyal, {{QStringLiteral("MATRICULA"), matricula}});
            });
        };
        // The lookups of candidates whose number fits in 64 bits go in batches, one condition
        // per month; a setting of more months than a batch takes (decades: nobody's first
        // month was paid) keeps the lookups month by month, which end at the first.
        const bool batched = months > 0 && months <= LoyaltyBatch::kMaxMonths;
        const QList<Month> examined = batched ? monthsExamined(run.businessDate(), months) : QList<Month>();
        const bool beforeYearOne = !examined.isEmpty() && examined.first().year < 1;  // nobody paid then
        LoyaltyBatch batch(session.connection(), examined, keepLoyal);
        while (asStep(kDatabaseDetail, nextMember)) {
            const QVariant saida = members.value(1);
            const QVariant bolsista = members.value(2);
            if (!saida.isNull() || (!bolsista.isNull() && bolsista.toBool())) continue;
            const QVariant matricula = members.value(0);
            if (batched) {
                const std::optional<QString> literal = integerLiteral(matricula.toString());
                if (!literal) throw CampaignStepError(kDatabaseDetail, "a registration number is not a whole number");
                bool fits = false;
                const qlonglong number = literal->toLongLong(&fits);
                if (fits) {
                    if (!beforeYearOne) asStep(kDatabaseDetail, [&] { batch.add(number, matricula); });
                    writeLoyal();
                    continue;
                }
                // The run table keeps the walk's order: the batch goes before this member.
                asStep(kDatabaseDetail, [&] { batch.flush(); });
            }
            if (isLoyal(run, matricula.toString(), months)) keepLoyal(matricula);
            writeLoyal();
        }
        asStep(kDatabaseDetail, [&] { batch.flush(); });
        writeLoyal();
    }

    run.select(QRYFEDELIDADE, selection(runTable));
    run.appendOutboxRows(QRYFEDELIDADE);
}

}  // namespace velocast
