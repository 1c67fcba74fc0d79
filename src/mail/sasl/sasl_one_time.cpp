#include "mail/sasl/sasl_one_time.h"

#include "mail/sasl/otp_password.h"

#include <QList>

namespace velocast::mail {

namespace {

QList<QByteArray> tokens(const QByteArray& challenge) {
    return challenge.simplified().split(' ');
}

bool readCount(const QByteArray& text, int* count) {
    bool ok = false;
    *count = text.toInt(&ok);
    return ok && *count >= 0;
}

}  // namespace

std::optional<QByteArray> SaslOtp::initialResponse(const SaslCredentials& c) const {
    return QByteArray(1, '\0') + saslBytes(c.userName);
}

std::optional<QByteArray> SaslOtp::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    const QList<QByteArray> parts = tokens(challenge);
    int count = 0;
    if (parts.size() < 3 || !parts[0].startsWith("otp-") || !readCount(parts[1], &count))
        return std::nullopt;
    const auto hash = otpHashFromName(QString::fromLatin1(parts[0].mid(4)));
    if (!hash)
        return std::nullopt;
    const QByteArray words =
        otpSixWords(otpPassword(*hash, parts[2].toLower(), saslBytes(c.password), count)).toLatin1();
    return parts.mid(3).contains("ext") ? "word:" + words : words;
}

std::optional<QByteArray> SaslSkey::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    const QList<QByteArray> parts = tokens(challenge);
    int count = 0;
    if (parts.size() < 2 || !readCount(parts[0], &count))
        return std::nullopt;
    return otpSixWords(otpPassword(OtpHash::Md4, parts[1], saslBytes(c.password), count)).toLatin1();
}

}  // namespace velocast::mail
