#include "mail/unsubscribe/unsubscribe_token.h"

#include <QUrl>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace velocast::mail {
namespace {

constexpr char kBase32[] = "abcdefghijklmnopqrstuvwxyz234567";

QByteArray base32(const QByteArray& data, int characters) {
    QByteArray out;
    quint32 buffer = 0;
    int bits = 0;
    for (const char byte : data) {
        buffer = (buffer << 8) | static_cast<unsigned char>(byte);
        bits += 8;
        while (bits >= 5 && out.size() < characters) {
            out += kBase32[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    return out;
}

bool isBase32(QChar c) {
    const char16_t u = c.toLower().unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'2' && u <= u'7');
}

// The scope comes first and never holds a NUL, so no scope and address pair can give the
// same bytes as another.
QByteArray mac(const QByteArray& secret, const QString& address, const QString& scope) {
    const QByteArray message = scope.toUtf8() + '\0' + normalUnsubscribeAddress(address).toUtf8();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret.constData(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(message.constData()), static_cast<size_t>(message.size()), digest,
         &length);
    return base32(QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)),
                  kUnsubscribeMacLength);
}

}  // namespace

QString normalUnsubscribeAddress(const QString& address) { return address.trimmed().toLower(); }

QString unsubscribeToken(const QByteArray& secret, const QString& address, const QString& scope) {
    return QLatin1String(kUnsubscribePrefix) + QString::fromLatin1(mac(secret, address, scope));
}

QString unsubscribeRequestSubject(const QByteArray& secret, const QString& address) {
    return unsubscribeToken(secret, address) + QLatin1Char(' ') + normalUnsubscribeAddress(address);
}

std::optional<QString> unsubscribeRequestAddress(const QString& subject, const QByteArray& secret) {
    if (secret.isEmpty()) return std::nullopt;
    const QLatin1String prefix(kUnsubscribePrefix);
    for (qsizetype at = subject.indexOf(prefix, 0, Qt::CaseInsensitive); at >= 0;
         at = subject.indexOf(prefix, at + 1, Qt::CaseInsensitive)) {
        const qsizetype macStart = at + prefix.size();
        qsizetype i = macStart;
        while (i < subject.size() && isBase32(subject[i])) ++i;
        // A MAC of another length, or one that runs on into other letters and digits, is
        // not one this program made.
        if (i - macStart != kUnsubscribeMacLength || (i < subject.size() && subject[i].isLetterOrNumber())) continue;
        const QByteArray given = subject.mid(macStart, kUnsubscribeMacLength).toLower().toLatin1();
        qsizetype start = i;
        while (start < subject.size() && subject[start].isSpace()) ++start;
        if (start == i) continue;  // the address follows after a blank
        qsizetype end = start;
        while (end < subject.size() && !subject[end].isSpace()) ++end;
        QString address = subject.mid(start, end - start);
        // A mail program may write the address as it writes one in a header.
        if (address.startsWith(u'<') && address.endsWith(u'>')) address = address.mid(1, address.size() - 2);
        address = normalUnsubscribeAddress(address);
        if (address.isEmpty()) continue;
        const QByteArray expected = mac(secret, address, QLatin1String(kMarketingScope));
        if (CRYPTO_memcmp(given.constData(), expected.constData(), static_cast<size_t>(kUnsubscribeMacLength)) == 0)
            return address;
    }
    return std::nullopt;
}

QByteArray listUnsubscribeValue(const QString& mailbox, const QString& subject) {
    return "<mailto:" + QUrl::toPercentEncoding(mailbox.trimmed(), "@") +
           "?subject=" + QUrl::toPercentEncoding(subject) + '>';
}

}  // namespace velocast::mail
