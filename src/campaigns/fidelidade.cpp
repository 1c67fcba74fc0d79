#include "campaigns/fidelidade.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "campaigns/fidelidade_batch.h"
#include "campaigns/fidelidade_due.h"
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
    const int widest = std::max<int>(kRegistrationWidth, static_cast<int>(literal.size()));
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
                                         QStringLiteral("INSERT INTO ") + runTable +
                                             QStringLiteral(" (MATRICULA) VALUES ") + markers.join(QLatin1Char(',')),
                                         values, QList<int>(rows.size(), kRunTableWidth));
    }
}

// The campaign's own steps fail under one of two details: the database (emptying the run
// table, the member walk, a lookup) or the run table (writing a loyal member into it).
template <typename Step>
decltype(auto) databaseStep(Step&& step) {
    return asStep(Fidelidade::kDatabaseDetail, std::forward<Step>(step));
}
template <typename Step>
decltype(auto) runTableStep(Step&& step) {
    return asStep(Fidelidade::kRunTableDetail, std::forward<Step>(step));
}

}  // namespace

const CampaignColumns& Fidelidade::columns() const { return campaignColumns(CampaignId::FIDELIDADE); }

bool Fidelidade::isDue(const Session& session) const { return loyaltyDayDue(session); }

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
        // Texts compared as the club's server compares them (sql_text.h): a plan code of
        // blanks is no plan.
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

namespace {

// Which of the walked members are loyal: each is considered in the walk's order, and `keep`
// hears of the loyal ones in that order.
class LoyaltyLookup {
public:
    using Keep = std::function<void(const QVariant& matricula)>;
    virtual ~LoyaltyLookup() = default;
    virtual void consider(const QVariant& matricula) = 0;
    // After the walk: decides the members still waiting.
    virtual void finish() {}
};

// One statement per member and month, oldest month first; the first month without a payment
// settles it.
class MonthByMonthLookup : public LoyaltyLookup {
public:
    MonthByMonthLookup(CampaignRun& run, int months, Keep keep) : run_(run), months_(months), keep_(std::move(keep)) {}

    void consider(const QVariant& matricula) override {
        if (paidEveryMonth(matricula.toString())) keep_(matricula);
    }

private:
    bool paidEveryMonth(const QString& matricula) {
        if (months_ <= 0) return true;
        const std::optional<QString> literal = Fidelidade::integerLiteral(matricula);
        if (!literal)
            throw CampaignStepError(Fidelidade::kDatabaseDetail, "a registration number is not a whole number");
        for (int back = months_; back >= 1; --back) {
            const Fidelidade::Month month = monthBack(run_.businessDate(), back);
            if (month.year < 1) return false;
            const bool paid = databaseStep([&] {
                QSqlQuery q =
                    runSql(run_.session().connection(), Fidelidade::paymentLookup(*literal, month)->in(run_.dialect()));
                if (q.next()) return true;
                if (q.lastError().isValid()) throw DbError(q.lastError().text().trimmed());
                return false;
            });
            if (!paid) return false;
        }
        return true;
    }

    CampaignRun& run_;
    int months_;
    Keep keep_;
};

// Candidates whose number fits in 64 bits a batch at a time (LoyaltyBatch); any other one
// month by month, after the batch before it, so that the walk's order holds.
class BatchedLookup : public LoyaltyLookup {
public:
    // Nobody paid before the year 1: when the months reach back that far, nobody is loyal
    // and nothing is looked up.
    BatchedLookup(CampaignRun& run, int months, const Keep& keep)
        : examined_(monthBack(run.businessDate(), months).year >= 1 ? monthsBefore(run.businessDate(), months)
                                                                    : QList<CalendarMonth>()),
          batch_(run.session().connection(), examined_, keep),
          oneByOne_(run, months, keep) {}

    void consider(const QVariant& matricula) override {
        const std::optional<QString> literal = Fidelidade::integerLiteral(matricula.toString());
        if (!literal)
            throw CampaignStepError(Fidelidade::kDatabaseDetail, "a registration number is not a whole number");
        bool fits = false;
        const qlonglong number = literal->toLongLong(&fits);
        if (fits) {
            if (!examined_.isEmpty()) databaseStep([&] { batch_.add(number, matricula); });
            return;
        }
        finish();
        oneByOne_.consider(matricula);
    }
    void finish() override {
        databaseStep([&] { batch_.flush(); });
    }

private:
    QList<CalendarMonth> examined_;
    LoyaltyBatch batch_;
    MonthByMonthLookup oneByOne_;
};

}  // namespace

void Fidelidade::fill(CampaignRun& run) {
    Session& session = run.session();
    const QString runTable = session.runTableName();
    // Without the table this session created, the name may be a host table's: leave it alone.
    if (!session.runTableCreated()) throw CampaignStepError(kDatabaseDetail, "the run table was not created");
    databaseStep([&] { run.exec(SqlText::same(QStringLiteral("DELETE FROM ") + runTable)); });

    {
        // The members stream past one at a time. SQL Server serves one open result per
        // connection, so there the walk reads on a connection of its own while the lookups
        // and the run table use the shared one; SQLite reads beside its own writes, and a
        // second SQLite connection would hold a lock that the writes have to wait for.
        std::unique_ptr<SharedConnection> own;
        SharedConnection* walkOn = &session.connection();
        if (run.dialect() == Dialect::Mssql) {
            own = databaseStep([&] { return run.openReadOnlyConnection(QStringLiteral("TBLALUNOS")); });
            walkOn = own.get();
        }
        QSqlQuery members = databaseStep([&] { return runSql(*walkOn, kMemberWalk); });
        const auto nextMember = [&] {
            if (members.next()) return true;
            if (members.lastError().isValid()) throw DbError(members.lastError().text().trimmed());
            return false;
        };
        const int months = databaseStep([&] {
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
            runTableStep([&] { insertRunTableRows(session.connection(), runTable, loyalToWrite); });
            loyalToWrite.clear();
        };
        const auto keepLoyal = [&](const QVariant& matricula) {
            if (mssql) {
                loyalToWrite << matricula;
                return;
            }
            runTableStep([&] {
                runPrepared(session.connection(), insertLoyal, {{QStringLiteral("MATRICULA"), matricula}});
            });
        };
        // Without months to examine every member is loyal, and nothing is looked up.
        std::unique_ptr<LoyaltyLookup> lookup;
        if (months > 0) lookup = std::make_unique<BatchedLookup>(run, months, keepLoyal);
        else lookup = std::make_unique<MonthByMonthLookup>(run, months, keepLoyal);
        while (databaseStep(nextMember)) {
            const QVariant saida = members.value(1);
            const QVariant bolsista = members.value(2);
            if (!saida.isNull() || (!bolsista.isNull() && bolsista.toBool())) continue;
            lookup->consider(members.value(0));
            // A full statement's worth at a time: a loyal member per round trip would cost a
            // large club thousands of them when nobody needs looking up.
            if (loyalToWrite.size() >= kRowsPerInsert) writeLoyal();
        }
        lookup->finish();
        writeLoyal();
    }

    run.select(QRYFEDELIDADE, selection(runTable));
    run.appendOutboxRows(QRYFEDELIDADE);
}

}  // namespace velocast
