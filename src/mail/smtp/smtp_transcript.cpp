#include "mail/smtp/smtp_transcript.h"

#include "mail/sasl/sasl_mechanism.h"
#include "mail/smtp/smtp_reply.h"

namespace velocast::mail {

namespace {

// A secret counts where it stands as a word of its own: "535 bad password test" hides it,
// "220 test.local" keeps the host name whole.
bool separatesWords(QChar c) { return c.isSpace() || QStringView(u"\"'<>()[]{},;:=").contains(c); }

void maskWord(QString& text, const QString& secret) {
    for (qsizetype at = text.indexOf(secret); at >= 0; at = text.indexOf(secret, at + 1)) {
        const qsizetype end = at + secret.size();
        if ((at == 0 || separatesWords(text[at - 1])) && (end == text.size() || separatesWords(text[end]))) {
            text.replace(at, secret.size(), QStringLiteral("****"));
            at += 3;
        }
    }
}

}  // namespace

void SmtpTranscript::setPassword(const QString& password) {
    passwordForms_.clear();
    if (password.isEmpty()) return;
    passwordForms_ << password << QString::fromLatin1(saslBytes(password).toBase64())
                   << QString::fromLatin1(password.toUtf8().toBase64());
}

void SmtpTranscript::addToken(const QString& token) {
    if (!token.isEmpty() && !offeredTokens_.contains(token)) offeredTokens_ << token;
}

void SmtpTranscript::sent(const QByteArray& line, const QByteArray& shownAs) {
    if (line != shownAs) {
        const QList<QByteArray> shownWords = shownAs.split(' ');
        for (const QByteArray& word : line.split(' '))
            if (!word.isEmpty() && !shownWords.contains(word)) sentSecrets_ << QString::fromLatin1(word);
    }
    if (observer_) observer_(DialogueKind::Sent, scrub(QString::fromLatin1(shownAs)));
}

void SmtpTranscript::sentShown(const QString& shownAs) const {
    if (observer_) observer_(DialogueKind::Sent, shownAs);
}

void SmtpTranscript::received(const QByteArray& line) const {
    if (observer_) observer_(DialogueKind::Received, scrub(printableText(QString::fromUtf8(line))));
}

void SmtpTranscript::note(const QString& text) const {
    if (observer_) observer_(DialogueKind::Note, scrub(text));
}

QString SmtpTranscript::scrub(QString text) const {
    for (const QString& form : passwordForms_) maskWord(text, form);
    for (const QString& secret : sentSecrets_) maskWord(text, secret);
    for (const QString& token : offeredTokens_) maskWord(text, token);
    return text;
}

}  // namespace velocast::mail
