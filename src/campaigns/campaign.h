#pragma once
// A campaign picks its recipients with SQL and writes one outbox row for each. The frame that
// all campaigns share (transaction, once-per-business-date latch, outbox rows, commit, the
// failure path) is runCampaign(); a campaign supplies only what is its own.
#include <QString>
#include <QVariantMap>
#include <functional>

#include "calendar/date_time.h"
#include "campaigns/sql_text.h"
#include "data/dataset.h"

namespace velocast {

class Notices;
class Session;

// Where a campaign's messages come from and where it records that it ran.
struct CampaignColumns {
    QString name;           // the campaign, e.g. "ANIVERSARIANTE"
    QString controlFlag;    // its flag in ControleEmail
    QString subjectColumn;  // Qzcvar2 columns copied into each outbox row
    QString textColumn;
    QString imageColumn;
};

// What the frame offers a campaign while it fills the outbox, inside the campaign's
// transaction.
class CampaignRun {
public:
    CampaignRun(Session& session, const CampaignColumns& columns);

    Session& session() { return session_; }
    Dialect dialect() const;
    const DateTime& businessDate() const;

    // Closes `selection`, gives it the statement of this dialect, opens it.
    void select(Dataset& selection, const SqlText& sql, const QVariantMap& parameters = {});
    // One outbox row per row of `selection` (its column EMAIL), skipping the rows `keep`
    // refuses; the subject, text and image come from the settings row, read for every row.
    void appendOutboxRows(Dataset& selection, const std::function<bool(const Dataset&)>& keep = {});

    int rowsWritten() const { return rowsWritten_; }

private:
    Session& session_;
    const CampaignColumns& columns_;
    int rowsWritten_ = 0;
};

class Campaign {
public:
    virtual ~Campaign() = default;
    virtual const CampaignColumns& columns() const = 0;
    // A campaign may decline a business date before touching the database.
    virtual bool isDue(const DateTime& /*businessDate*/) const { return true; }
    // The selection and any step of its own; throws DbError on failure.
    virtual void fill(CampaignRun& run) = 0;
};

// Runs a campaign once for the session's business date. True when it finished (rows written,
// nobody selected, already done, or not due); false after a failure, which has been rolled
// back and shown as a notice.
bool runCampaign(Campaign& campaign, Session& session, Notices& notices);

// The statement that finds the business date's control row. The whole day is matched, so
// that a business date carrying a time of day still finds the row its first run wrote.
SqlText controlRecordLookup(const DateTime& businessDate);

}  // namespace velocast
