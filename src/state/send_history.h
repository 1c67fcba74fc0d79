#pragma once
// What became of each outbox row, kept on this machine so that the club can answer "I never
// got it" after the row itself is gone: when, to whom, which subject and campaign, and what
// the server said. It holds members' addresses, so it lives only in the account's private
// state database and only for the retention the machine's settings allow.
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace velocast {

class StateDatabase;

// Bounced: a delivery report came back for a message sent; Suppressed: the row was removed
// unsent because its address is on the suppression list; RemovedByStaff: the outbox emptied
// from the tray menu.
enum class SendOutcome { Sent, Refused, Invalid, Deferred, GivenUp, Bounced, Suppressed, RemovedByStaff, OptedOut };

// "sent", "refused", "invalid", "deferred", "given-up", "bounced", "suppressed", "removed by the
// staff": what the listing and the CSV show.
QString sendOutcomeName(SendOutcome outcome);
// The outcome a name of sendOutcomeName stands for; Invalid for a name it does not know.
SendOutcome sendOutcomeOfName(const QString& name);

struct HistoryEntry {
    QDateTime at;
    SendOutcome outcome = SendOutcome::Sent;
    QString address;  // as the row held it, surrounding blanks removed
    QString subject;
    QString campaign;      // empty where the row's campaign is not known
    QString messageId;     // of a sent message
    QString reply;         // the server's reply (sent, refused, deferred, given up); the status and
                           // diagnostic of a bounce; the reason of a suppression
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
    // Drops at most `atMost` of the entries older than `before`, the oldest first, in one short
    // transaction, and hands a few of the freed pages back to the disk; returns how many went
    // (fewer than `atMost`: nothing older is left). A drain runs between two steps.
    static constexpr int kPruneStep = 1000;
    static constexpr int kVacuumPagesPerStep = 64;
    int prune(const QDateTime& before, int atMost = kPruneStep);
    // Every step at once, for a listing that must show nothing past the retention.
    int pruneAll(const QDateTime& before);
    // The entries the filter lets through, newest first (addresses compared without regard
    // to letter case). False with `error` set when the file cannot be read.
    bool read(const HistoryFilter& filter, const std::function<void(const HistoryEntry&)>& each, QString* error) const;
    // The message sent with this Message-ID ("<…>"), as its `sent` entry holds it; nothing when
    // none of the messages kept had it, or when the file cannot be read.
    std::optional<HistoryEntry> sentMessage(const QString& messageId) const;

private:
    StateDatabase& state_;
};

}  // namespace velocast
