#pragma once
// The addresses the club's e-mails no longer go to: an address whose mailbox is gone (its
// delivery reports said so), or a member who asked for no more. Each entry has a scope (every
// e-mail, or only some campaigns), a reason a person can read, when and where from; staff take
// an entry out once the member's record is fixed. Kept in the local state database beside the
// bounce events that led to it, each event under a key of its own, so that a delivery report
// read a second time (after a crash before it was moved away) counts for nothing more.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace velocast {

class StateDatabase;

// Every e-mail; for bounces.
inline const QString kScopeAll = QStringLiteral("all");

struct Suppression {
    QString address;  // lower case, without surrounding blanks
    QString scope;    // "all", or the name of a group of campaigns
    QString reason;
    QDateTime at;
    QString source;  // "bounce", "unsubscribe"
};

class SuppressionList {
public:
    explicit SuppressionList(StateDatabase& state) : state_(state) {}

    // The form addresses are kept and compared in: surrounding blanks removed, lower case.
    static QString normalized(const QString& address);

    // Writes throw std::runtime_error naming the file; reads take a failure for "nothing".
    // Adds the entry; an address already suppressed for the scope keeps its first entry.
    // True when it was added.
    bool add(const Suppression& entry);
    // Takes out the entries of `address` (every scope, or only `scope`), and lets the bounces
    // that led to them count no more; how many entries went.
    int remove(const QString& address, const QString& scope = QString());
    // Every entry, newest first. False with `error` set when the file cannot be read.
    bool list(const std::function<void(const Suppression&)>& each, QString* error) const;
    // The entry that keeps `address` from e-mails of `scope`: one for that scope or for "all".
    std::optional<Suppression> find(const QString& address, const QString& scope = kScopeAll) const;
    bool isSuppressed(const QString& address, const QString& scope = kScopeAll) const {
        return find(address, scope).has_value();
    }

    // Notes one bounce of `address` under `eventKey`; false, and nothing written, when that key
    // was noted before.
    bool recordBounce(const QString& eventKey, const QString& address, const QString& kind, const QDateTime& at);
    // The bounces of `kind` noted for `address` at or after `since` that still count.
    int bouncesSince(const QString& address, const QString& kind, const QDateTime& since) const;

private:
    StateDatabase& state_;
};

}  // namespace velocast
