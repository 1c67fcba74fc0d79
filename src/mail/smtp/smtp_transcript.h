#pragma once
// The SMTP dialogue as it happens, for diagnostics: lines sent (AUTH payloads shown as
// "****"), lines received (control characters shown as \xHH), and notes such as "TLS started
// (TLSv1.3, ...)". The password, what was sent for it and the access tokens offered are
// masked wherever they stand as a word of their own, here and in every error text the client
// raises.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace velocast::mail {

enum class DialogueKind { Sent, Received, Note };
using DialogueObserver = std::function<void(DialogueKind kind, const QString& line)>;

class SmtpTranscript {
public:
    void setObserver(DialogueObserver observer) { observer_ = std::move(observer); }
    void setPassword(const QString& password);
    // A new session: what was sent for the password in the last one is forgotten.
    void beginSession() { sentSecrets_.clear(); }
    // An access token offered to the server: masked from now on.
    void addToken(const QString& token);

    // `line` went to the server and is shown as `shownAs`: the words that differ are secrets.
    void sent(const QByteArray& line, const QByteArray& shownAs);
    // A line shown as sent that is no command of its own (the end of the data).
    void sentShown(const QString& shownAs) const;
    void received(const QByteArray& line) const;
    void note(const QString& text) const;

    // `text` with every secret masked.
    QString scrub(QString text) const;

private:
    DialogueObserver observer_;
    // The password as typed and in the encodings a mechanism sends it in.
    QStringList passwordForms_;
    QStringList sentSecrets_;
    QStringList offeredTokens_;  // kept for the client's life, like the password
};

}  // namespace velocast::mail
