#pragma once
// What became of each outbox row, kept on this machine so that the club can answer "I never
// got it" after the row itself is gone: when, to whom, which subject and campaign, and what
// the server said. It holds members' addresses, so it lives only in the account's private
// state database and only for the retention the machine's settings allow.
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

namespace velocast {

class StateDatabase;

enum class SendOutcome { Sent, Refused, Invalid, Deferred, GivenUp, RemovedByStaff };

// "sent", "refused", "invalid", "deferred", "given-up", "removed by the staff" (the outbox
// emptied from the tray menu): what the listing and the CSV show.
QString sendOutcomeName(SendOutcome outcome);

struct HistoryEntry {
    QDateTime at;
    SendOutcome outcome = SendOutcome::Sent;
    QString address;  // as the row held it, surrounding blanks removed
    QString subject;
    QString campaign;   // empty where the row's campaign is not known
    QString messageId;  // of a sent message
    QString reply;      // the server's reply (sent, refused, deferred, given up)
    qint64 outboxRow = 0;  // the outbox row's ID; 0 where it is not known (older entries)
};

struct HistoryFilter {
    QString address;           // empty: every address
    bool addressPart = false;  // the address contains `address`, instead of being it
    QDateTime since;           // invalid: all that is kept
    int limit = 0;             // the most recent this many; 0: all
};

class SendHistory {
public:
    explicit SendHistory(StateDatabase& state) : state_(state) {}

    // Throws std::runtime_error naming the file and what to check.
    void record(const HistoryEntry& entry);
    // Several entries in one transaction (the outbox emptied at once): all or none.
    void recordAll(const QList<HistoryEntry>& entries);
    // Drops what is older than `before`; returns how many entries went.
    int prune(const QDateTime& before);
    // The entries the filter lets through, newest first (addresses compared without regard
    // to letter case). False with `error` set when the file cannot be read.
    bool read(const HistoryFilter& filter, const std::function<void(const HistoryEntry&)>& each, QString* error) const;

private:
    StateDatabase& state_;
};

}  // namespace velocast
