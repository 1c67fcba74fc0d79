#pragma once
// The one error type the IMAP client raises. Besides the text it keeps what the caller needs to
// tell the person which setting to change: the kind of failure, the command that failed, the
// server's tagged status (NO or BAD) and the response code in brackets
// ("AUTHENTICATIONFAILED", "TRYCREATE", "NONEXISTENT").
#include <QString>
#include <exception>
#include <string>

namespace velocast::mail {

enum class ImapFailure {
    Connect,             // the TCP connection (host, port)
    Tls,                 // the TLS handshake or record layer
    CertificateRefused,  // the server's certificate did not pass the trust policy ([tls])
    NoTls,               // STARTTLS asked for and not offered: the client will not go on in clear
    Timeout,             // the server stopped answering within the stage's limit
    Closed,              // the server closed the connection (or said BYE)
    Protocol,            // a response the client cannot read
    TooLarge,            // a response over the client's cap
    Refused,             // a tagged NO or BAD
    SignIn,              // no way to sign in that this server and these credentials share
    Interrupted,         // the program was asked to end
};

class ImapError : public std::exception {
public:
    ImapError(ImapFailure failure, QString message, QString command = {}, QString status = {},
              QString responseCode = {});

    ImapFailure failure() const { return failure_; }
    const QString& message() const { return message_; }
    // The command the client was waiting for ("LOGIN", "UID MOVE", ...); empty before one was sent.
    const QString& command() const { return command_; }
    // "NO" or "BAD" for a refusal; empty for every other failure.
    const QString& status() const { return status_; }
    // The response code's atom, upper case ("TRYCREATE"); empty when the server gave none.
    const QString& responseCode() const { return responseCode_; }
    void setCommand(const QString& command);
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    ImapFailure failure_;
    QString message_;
    QString command_;
    QString status_;
    QString responseCode_;
    std::string utf8_;
};

}  // namespace velocast::mail
