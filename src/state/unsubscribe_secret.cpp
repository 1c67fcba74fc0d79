#include "state/unsubscribe_secret.h"

#include <QSqlError>
#include <QSqlQuery>
#include <openssl/rand.h>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {
namespace {

constexpr char kName[] = "unsubscribe";
constexpr int kLength = 32;

[[noreturn]] void fail(const StateDatabase& state, const QString& what, const QSqlQuery& q) {
    throw std::runtime_error(QStringLiteral("the opt-out key in the state database %1 cannot be %2 (%3); check the "
                                            "disk and the file's permissions, or set [state] database in velocast.conf")
                                 .arg(state.path(), what, q.lastError().text())
                                 .toStdString());
}

QByteArray stored(const StateDatabase& state) {
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("SELECT value FROM club_secret WHERE name = ?"));
    q.addBindValue(QLatin1String(kName));
    if (!q.exec()) fail(state, QStringLiteral("read"), q);
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

}  // namespace

QByteArray unsubscribeSecret(StateDatabase& state) {
    QByteArray secret = stored(state);
    if (secret.size() == kLength) return secret;
    if (!secret.isEmpty())
        throw std::runtime_error(
            QStringLiteral("the opt-out key in the state database %1 is damaged; restore the file from a backup "
                           "(a new key would make the opt-out links of every message sent so far fail)")
                .arg(state.path())
                .toStdString());
    secret.resize(kLength);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(secret.data()), kLength) != 1)
        throw std::runtime_error("the system gave no random bytes for the opt-out key");
    // Another run on the same file may have stored one meanwhile: the first stays.
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO club_secret (name, value) VALUES (?, ?)"));
    q.addBindValue(QLatin1String(kName));
    q.addBindValue(secret);
    if (!q.exec()) fail(state, QStringLiteral("stored"), q);
    return stored(state);
}

}  // namespace velocast
