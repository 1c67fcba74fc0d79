#include "mail/sasl/sasl_one_time.h"

#include "mail/sasl/otp_password.h"

#include <QList>

namespace velocast::mail {

namespace {

QList<QByteArray> tokens(const QByteArray& challenge) { return challenge.simplified().split(' '); }

}  // namespace

std::optional<int> SaslOneTimeMechanism::readCount(const QByteArray& text) {
    bool ok = false;
    const qlonglong count = text.toLongLong(&ok);
    if (ok && count > kMaxOneTimeCount) {
        problem_ = QStringLiteral("%1: the server asked for %2 iterations; counts above %3 are refused.")
                       .arg(QString::fromLatin1(name()), QString::fromLatin1(text))
                       .arg(kMaxOneTimeCount);
        return std::nullopt;
    }
    if (!ok || count < 0) return std::nullopt;
    return static_cast<int>(count);
}

std::optional<QByteArray> SaslOtp::initialResponse(const SaslCredentials& c) const {
    return QByteArray(1, '\0') + saslBytes(c.userName);
}

std::optional<QByteArray> SaslOtp::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    const QList<QByteArray> parts = tokens(challenge);
    if (parts.size() < 3 || !parts[0].startsWith("otp-")) return std::nullopt;
    const std::optional<int> count = readCount(parts[1]);
    if (!count) return std::nullopt;
    const auto hash = otpHashFromName(QString::fromLatin1(parts[0].mid(4)));
    if (!hash) return std::nullopt;
    const QByteArray words =
        otpSixWords(otpPassword(*hash, parts[2].toLower(), saslBytes(c.password), *count)).toLatin1();
    return parts.mid(3).contains("ext") ? "word:" + words : words;
}

std::optional<QByteArray> SaslSkey::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    const QList<QByteArray> parts = tokens(challenge);
    if (parts.size() < 2) return std::nullopt;
    const std::optional<int> count = readCount(parts[0]);
    if (!count) return std::nullopt;
    return otpSixWords(otpPassword(OtpHash::Md4, parts[1], saslBytes(c.password), *count)).toLatin1();
}

}  // namespace velocast::mail
