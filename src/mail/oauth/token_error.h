#pragma once
// Why no access token could be had. The sender treats each kind as it treats the SMTP server:
// an endpoint out of reach keeps the rows for a later run; the others need a person.
#include <QString>
#include <stdexcept>

namespace velocast::mail {

class TokenError : public std::runtime_error {
public:
    enum class Kind {
        Unreachable,   // no answer, a time-out, or the endpoint's own failure (5xx): try later
        SignInNeeded,  // no sign-in stored, or the stored one revoked or expired (invalid_grant)
        Refused,       // the endpoint refused the application or its request; or the token file
    };
    TokenError(Kind kind, QString endpoint, QString message)
        : std::runtime_error(message.toStdString()),
          kind_(kind),
          endpoint_(std::move(endpoint)),
          message_(std::move(message)) {}
    Kind kind() const { return kind_; }
    // The endpoint asked, for the warning line that names it.
    const QString& endpoint() const { return endpoint_; }
    // One sentence that says what happened and what to do.
    const QString& message() const { return message_; }

private:
    Kind kind_;
    QString endpoint_;
    QString message_;
};

}  // namespace velocast::mail
