#pragma once
// A campaign picks its recipients with SQL and writes one outbox row for each. The frame that
// all campaigns share (transaction, once-per-business-date latch, outbox rows, commit, the
// failure path) is runCampaign(); a campaign supplies only what is its own.
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <vector>
#include <stdexcept>

#include "calendar/date_time.h"
#include "campaigns/campaign_columns.h"
#include "campaigns/sql_text.h"
#include "data/dataset.h"
#include "data/sql_statement.h"

namespace velocast {

class Notices;
class Session;
class SharedConnection;
struct OutboxRow;

// What the frame offers a campaign while it fills the outbox, inside the campaign's
// transaction on the shared connection.
class CampaignRun {
public:
    CampaignRun(Session& session, const CampaignColumns& columns);
    // Lets go of every selection still being read, so that no statement stays open on the
    // connection after the campaign, whether it finished or failed.
    ~CampaignRun();
    CampaignRun(const CampaignRun&) = delete;
    CampaignRun& operator=(const CampaignRun&) = delete;

    Session& session() { return session_; }
    Dialect dialect() const;
    const DateTime& businessDate() const;
    // The settings rows: Qzcvar2 (messages, switches, day counts) and Qzcvar (periods).
    const Dataset& settings() const;
    const Dataset& controle() const;

    // Closes `selection`, gives it the statement of this dialect with `parameters` bound by
    // name, opens it: on the shared connection, inside the campaign's transaction ...
    // The rows stream past one at a time (a large club costs no memory) where reading them
    // holds up none of the campaign's writes on the shared connection; otherwise the
    // selection is read whole before the first row is used.
    void select(Dataset& selection, const SqlText& sql, const QVariantMap& parameters = {});
    // ... or on another connection (see openReadOnlyConnection).
    void select(SharedConnection& connection, Dataset& selection, const SqlText& sql,
                const QVariantMap& parameters = {});
    // A statement that returns no rows, on the shared connection inside the transaction.
    void exec(const SqlText& sql, const QVariantMap& parameters = {});

    // A read-only connection of the campaign's own, opened from the same data-link file under
    // the connection name `name`; its reads happen outside the campaign's transaction. It is
    // closed and removed when the returned object is destroyed, on failure too.
    std::unique_ptr<SharedConnection> openReadOnlyConnection(const QString& name);

    // One outbox row per row of `selection` (its column EMAIL), skipping the rows `keep`
    // refuses; the subject, text and image come from the settings row, read for every row.
    void appendOutboxRows(Dataset& selection, const std::function<bool(const Dataset&)>& keep = {});

    int rowsWritten() const { return rowsWritten_; }

    // Called for every row appended, with the selection row it came from: how a preview sees
    // who would get the e-mail without reading the outbox back.
    using RowObserver = std::function<void(const Dataset& selection, const OutboxRow& row)>;
    void observeRows(RowObserver observer) { observer_ = std::move(observer); }

private:
    Session& session_;
    const CampaignColumns& columns_;
    // A campaign's set-based selections sort and match the whole club: on SQLite each of their
    // temporary tables would hold a page cache of its own in memory, most of what the program
    // holds for a large club.
    static constexpr qint64 kSqliteMemory = 2 * 1000 * 1000;
    SqliteMemoryBound memoryBound_;
    int rowsWritten_ = 0;
    RowObserver observer_;
    std::vector<Dataset*> selections_;
};

// A failure in a step of a campaign's own (filling a table of its own, updating a host table)
// that the notice names by that step rather than by the outbox.
class CampaignStepError : public std::runtime_error {
public:
    CampaignStepError(QString detail, const std::string& why) : std::runtime_error(why), detail_(std::move(detail)) {}
    const QString& detail() const { return detail_; }

private:
    QString detail_;
};

// Runs `step`; whatever it throws becomes a failure shown with `detail`.
template <typename Step>
decltype(auto) asStep(const QString& detail, Step&& step) {
    try {
        return step();
    } catch (const CampaignStepError&) {
        throw;
    } catch (const std::exception& e) {
        throw CampaignStepError(detail, e.what());
    }
}

class Campaign {
public:
    virtual ~Campaign() = default;
    // Its entry of the campaign table.
    virtual const CampaignColumns& columns() const = 0;
    // A campaign may decline a business date before touching the database (no transaction,
    // no control row). It sees the open session: the business date and the settings rows.
    // An error it throws is not a campaign failure: it passes through to the daily run.
    virtual bool isDue(const Session& /*session*/) const { return true; }
    // The selection and any step of its own; throws on failure (a CampaignStepError to name
    // the step in the notice, anything else is shown as a failure to write the outbox).
    virtual void fill(CampaignRun& run) = 0;
};

// Runs a campaign once for the session's business date. True when it finished (rows written,
// nobody selected, already done, or not due); false after a failure, which has been rolled
// back and shown as a notice. `rowsWritten`, when given, receives the outbox rows committed.
bool runCampaign(Campaign& campaign, Session& session, Notices& notices, int* rowsWritten = nullptr);

// Whether the campaign's flag is set on the business date's control row (it ran already).
// Reads only; inside or outside a transaction.
bool campaignAlreadyRan(Session& session, const CampaignColumns& columns);

// The statement that finds the business date's control row. The whole day is matched, so
// that a business date carrying a time of day still finds the row its first run wrote.
SqlText controlRecordLookup(const DateTime& businessDate);

}  // namespace velocast
