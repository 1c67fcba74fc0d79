#pragma once
// What the send history says of one day, gathered for the club's daily report: per campaign
// how many rows went, wait, were given up, were invalid or suppressed, and the addresses that
// bounced or opted out, for the reception to fix the member's record or consent.
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace velocast {

class StateDatabase;

// The outcome names the history holds besides those of SendOutcome: what the mailbox reader
// records for a delivery report, the drain for a row of a suppressed address, and the reader
// for an opt-out request.
inline constexpr char kOutcomeBounced[] = "bounced";
inline constexpr char kOutcomeSuppressed[] = "suppressed";
inline constexpr char kOutcomeOptedOut[] = "opted-out";

struct CampaignOutcomes {
    QString campaign;            // the control flag name; empty for rows whose campaign is not known
    std::optional<int> written;  // rows the campaign wrote that day, when the caller knows it
    int sent = 0;
    int deferred = 0;  // rows whose last word that day was "deferred": they still wait
    int givenUp = 0;
    int invalid = 0;  // invalid, or refused by the server as a bad address
    int suppressed = 0;
    int bounced = 0;
    int optedOut = 0;
};

struct AddressOutcome {
    QDateTime at;
    QString outcome;  // kOutcomeBounced or kOutcomeOptedOut
    QString address;
    QString campaign;
    QString detail;  // the status and diagnostic of a bounce
};

struct DayOutcomes {
    QDate date;
    QList<CampaignOutcomes> campaigns;  // in the order of their first entry that day
    QList<AddressOutcome> addresses;    // bounced and opted out, oldest first
};

// The entries of the calendar day `date` (local time). False with `error` naming the file when
// it cannot be read.
bool readDayOutcomes(const StateDatabase& state, const QDate& date, DayOutcomes* day, QString* error);
// The same for the entries from `from` up to `to` (invalid: no end), told as the day `date`.
bool readDayOutcomes(const StateDatabase& state, const QDate& date, const QDateTime& from, const QDateTime& to,
                     DayOutcomes* day, QString* error);
// The entries of the business date `date` (see businessDayWindow).
bool readBusinessDayOutcomes(const StateDatabase& state, const QDate& date, DayOutcomes* day, QString* error);

}  // namespace velocast
