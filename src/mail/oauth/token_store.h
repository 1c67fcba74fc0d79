#pragma once
// The tokens of one club's mailbox between runs: a small JSON file that only this account may
// read (mode 0600), replaced whole on every write so that a crash leaves the old or the new
// file, never half of one. Its contents are secrets: nothing here prints them.
#include <QDateTime>
#include <QString>
#include <optional>

namespace velocast::mail {

struct StoredTokens {
    QString clientId;  // the application the tokens were issued to
    QString tokenEndpoint;
    QString refreshToken;  // empty for the client_credentials grant
    QString accessToken;
    QDateTime accessExpires;  // UTC
};

class TokenStore {
public:
    explicit TokenStore(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }
    // Nothing when the file does not exist; throws TokenError (Refused) when it cannot be read.
    std::optional<StoredTokens> load() const;
    // Throws TokenError (Refused) naming the file when it cannot be written.
    void save(const StoredTokens& tokens) const;

private:
    QString path_;
};

}  // namespace velocast::mail
