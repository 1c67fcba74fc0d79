#include "campaigns/campaign.h"

#include <algorithm>

#include "data/db_error.h"
#include "notices/notices.h"
#include "data/session.h"
#include "data/sql_statement.h"
#include "outbox/outbox.h"

namespace velocast {

SqlText controlRecordLookup(const DateTime& businessDate) {
    const DateTime day = businessDate.dateOnly();
    const DateTime next = day.addDays(1);
    return SqlText::written([&](Dialect d) {
        return QStringLiteral("SELECT * FROM CONTROLEEMAIL WHERE DATA >= '") + dateLiteral(d, day) +
               QStringLiteral("' AND DATA < '") + dateLiteral(d, next) + QStringLiteral("'");
    });
}

CampaignRun::CampaignRun(Session& session, const CampaignColumns& columns)
    : session_(session), columns_(columns), memoryBound_(session.connection(), kSqliteMemory) {}

Dialect CampaignRun::dialect() const { return session_.dialect(); }
const DateTime& CampaignRun::businessDate() const { return session_.businessDate(); }

const Dataset& CampaignRun::settings() const { return session_.TBLCONTROLE2; }
const Dataset& CampaignRun::controle() const { return session_.TBLCONTROLE; }

void CampaignRun::select(Dataset& selection, const SqlText& sql, const QVariantMap& parameters) {
    select(session_.connection(), selection, sql, parameters);
    if (std::find(selections_.begin(), selections_.end(), &selection) == selections_.end())
        selections_.push_back(&selection);
}

CampaignRun::~CampaignRun() {
    for (Dataset* selection : selections_) selection->close();
}

void CampaignRun::select(SharedConnection& connection, Dataset& selection, const SqlText& sql,
                         const QVariantMap& parameters) {
    selection.close();
    // SQLite reads beside its own writes on one connection; SQL Server serves one open result
    // per connection, so the shared one, which writes the outbox, cannot keep one open there.
    const bool streams = &connection == &session_.connection() ? connection.dialect() == Dialect::Sqlite
                                                               : connection.readsBesideWrites();
    selection.openQuery(connection, sql.in(connection.dialect()), parameters,
                        streams ? Dataset::Rows::Stream : Dataset::Rows::Read);
}

void CampaignRun::exec(const SqlText& sql, const QVariantMap& parameters) {
    runSql(session_.connection(), sql.in(dialect()), parameters);
}

std::unique_ptr<SharedConnection> CampaignRun::openReadOnlyConnection(const QString& name) {
    auto own = std::make_unique<SharedConnection>(session_.connection().dataLinkPath(), name);
    own->readOnly = true;
    own->bounds = session_.connection().bounds;
    own->open();
    return own;
}

void CampaignRun::appendOutboxRows(Dataset& selection, const std::function<bool(const Dataset&)>& keep) {
    Outbox outbox(session_);
    Dataset& settings = session_.TBLCONTROLE2;
    for (selection.first(); !selection.eof(); selection.next()) {
        if (keep && !keep(selection)) continue;
        OutboxRow row;
        row.email = outboxText(selection.value(QStringLiteral("EMAIL")));
        row.subject = outboxText(settings.value(columns_.subjectColumn));
        row.text = outboxText(settings.value(columns_.textColumn));
        row.imagePath = outboxText(settings.value(columns_.imageColumn));
        outbox.append(row);
        ++rowsWritten_;
        if (observer_) observer_(selection, row);
    }
    // Nothing reads a selection once its rows are in the outbox; its snapshot need not stay
    // in memory for the rest of the run.
    selection.close();
}

namespace {

enum class Latch { AlreadyDone, Claimed };

// Looks up the business date's control row and sets this campaign's flag on it, appending
// the row when there is none. With several rows for the day the first one counts.
Latch claimControlRecord(Session& session, const QString& flag, Dataset& control) {
    const DateTime& date = session.businessDate();
    control.close();
    control.openQuery(session.connection(), controlRecordLookup(date).in(session.dialect()));
    if (control.eof()) {
        runSql(session.connection(), QStringLiteral("INSERT INTO ControleEmail (DATA, %1) VALUES (:DATA, 1)").arg(flag),
               {{QStringLiteral("DATA"), dateTimeParameter(session.dialect(), date)}});
        return Latch::Claimed;
    }
    if (control.flag(flag)) return Latch::AlreadyDone;
    runSql(session.connection(), QStringLiteral("UPDATE ControleEmail SET %1 = 1 WHERE ID = :ID").arg(flag),
           {{QStringLiteral("ID"), control.value(QStringLiteral("ID"))}});
    return Latch::Claimed;
}

}  // namespace

bool campaignAlreadyRan(Session& session, const CampaignColumns& columns) {
    Dataset control(QStringLiteral("TBLCONTROLEEMAILSEEK"));
    control.openQuery(session.connection(), controlRecordLookup(session.businessDate()).in(session.dialect()));
    return !control.eof() && control.flag(columns.controlFlag);
}

bool runCampaign(Campaign& campaign, Session& session, Notices& notices, int* rowsWritten) {
    if (rowsWritten) *rowsWritten = 0;
    if (!campaign.isDue(session)) return true;
    SharedConnection& connection = session.connection();
    Dataset control(QStringLiteral("TBLCONTROLEEMAILSEEK"));
    try {
        connection.beginTransaction();
        if (claimControlRecord(session, campaign.columns().controlFlag, control) == Latch::AlreadyDone) {
            connection.rollback();
            return true;
        }
        CampaignRun run(session, campaign.columns());
        campaign.fill(run);
        connection.commit();
        if (rowsWritten) *rowsWritten = run.rowsWritten();
        return true;
    } catch (const std::exception& e) {
        // Neither the flag nor any outbox row survives a failure: the campaign is tried again
        // at the next start on the same business date.
        try {
            if (connection.inTransaction()) connection.rollback();
        } catch (const DbError&) {}
        const auto* step = dynamic_cast<const CampaignStepError*>(&e);
        QString detail = step ? step->detail() : QStringLiteral("Velocast");
        // A time-out is the one failure a person can act on from here (the club's system held
        // a lock too long, or a setting is too tight): the notice says which.
        if (const QString timeout = connection.timeoutExplanation(QString::fromUtf8(e.what())); !timeout.isEmpty())
            detail += QLatin1Char('\n') + timeout;
        notices.MOSTRA_AVISO(QStringLiteral("!"), kGravandoNaTabela, detail);
        return false;
    }
}

}  // namespace velocast
