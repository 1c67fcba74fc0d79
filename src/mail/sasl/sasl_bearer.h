#pragma once
// Signing in with an OAuth 2.0 access token instead of a password: XOAUTH2, the providers' own
// mechanism (Google, Microsoft 365), and OAUTHBEARER (RFC 7628). Both send the token in the
// initial response; a refused token comes back as a 334 challenge holding a JSON error, which
// the client must answer (XOAUTH2 with an empty line, OAUTHBEARER with a single ^A) before the
// server sends its final refusal.
#include "mail/sasl/sasl_mechanism.h"

#include <QString>

namespace velocast::mail {

struct BearerCredentials {
    QString userName;  // the mailbox
    QString accessToken;
    QString host;  // the SMTP server as configured (OAUTHBEARER names it)
    quint16 port = 0;
};

// What the server said about a refused token, from its JSON error challenge.
struct BearerRefusal {
    QString status;  // "401", "invalid_token", ...
    QString scope;   // the scope the server wants, when it says
};

// Reads a JSON error challenge ({"status":...,"scope":...}); nothing when it is not one.
std::optional<BearerRefusal> parseBearerRefusal(const QByteArray& challenge);

class SaslBearerMechanism : public SaslMechanism {
public:
    explicit SaslBearerMechanism(BearerCredentials credentials) : bearer_(std::move(credentials)) {}
    bool isReady(const SaslCredentials&, bool) const override {
        return !bearer_.userName.isEmpty() && !bearer_.accessToken.isEmpty();
    }
    // Records the server's error challenge and gives the answer that lets it finish.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials&) override;
    const std::optional<BearerRefusal>& refusal() const { return refusal_; }

protected:
    virtual QByteArray errorAcknowledgement() const = 0;
    BearerCredentials bearer_;

private:
    std::optional<BearerRefusal> refusal_;
};

class SaslXoauth2 : public SaslBearerMechanism {
public:
    using SaslBearerMechanism::SaslBearerMechanism;
    QByteArray name() const override { return "XOAUTH2"; }
    // "user=" mailbox ^A "auth=Bearer " token ^A ^A
    std::optional<QByteArray> initialResponse(const SaslCredentials&) const override;

protected:
    QByteArray errorAcknowledgement() const override { return QByteArray(); }
};

class SaslOauthBearer : public SaslBearerMechanism {
public:
    using SaslBearerMechanism::SaslBearerMechanism;
    QByteArray name() const override { return "OAUTHBEARER"; }
    // The GS2 header "n,a=" mailbox "," then ^A "host=" host ^A "port=" port
    // ^A "auth=Bearer " token ^A ^A. In the mailbox "," and "=" are written "=2C" and "=3D".
    std::optional<QByteArray> initialResponse(const SaslCredentials&) const override;

protected:
    QByteArray errorAcknowledgement() const override { return QByteArray(1, '\x01'); }
};

}  // namespace velocast::mail
