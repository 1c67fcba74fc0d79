// MD4 exists in OpenSSL 3 only through the legacy provider, which a default installation does
// not load; the low-level MD4 functions still work, deprecated or not.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "mail/sasl/otp_password.h"

#include "mail/sasl/otp_dictionary.h"

#include <QStringList>
#include <openssl/evp.h>
#include <openssl/md4.h>

namespace velocast::mail {

namespace {

QByteArray digest(OtpHash hash, const QByteArray& data) {
    if (hash == OtpHash::Md4) {
        QByteArray out(MD4_DIGEST_LENGTH, '\0');
        MD4(reinterpret_cast<const unsigned char*>(data.constData()), data.size(),
            reinterpret_cast<unsigned char*>(out.data()));
        return out;
    }
    const EVP_MD* md = hash == OtpHash::Md5 ? EVP_md5() : EVP_sha1();
    QByteArray out(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    EVP_Digest(data.constData(), data.size(), reinterpret_cast<unsigned char*>(out.data()), &length, md, nullptr);
    out.resize(length);
    return out;
}

// Folds a digest to 64 bits as RFC 2289 Appendix A does: MD4 and MD5 XOR their two halves;
// SHA-1 XORs its big-endian words 0^2^4 and 1^3 and stores the two results little-endian.
QByteArray fold(OtpHash hash, const QByteArray& d) {
    QByteArray out(8, '\0');
    if (hash != OtpHash::Sha1) {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(d[i] ^ d[i + 8]);
        return out;
    }
    auto word = [&](int i) {
        const auto* p = reinterpret_cast<const unsigned char*>(d.constData()) + 4 * i;
        return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    };
    const quint32 folded[2] = {word(0) ^ word(2) ^ word(4), word(1) ^ word(3)};
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<char>((folded[i] >> (8 * b)) & 0xff);
    return out;
}

}  // namespace

std::optional<OtpHash> otpHashFromName(const QString& name) {
    if (name == QLatin1String("md4")) return OtpHash::Md4;
    if (name == QLatin1String("md5")) return OtpHash::Md5;
    if (name == QLatin1String("sha1")) return OtpHash::Sha1;
    return std::nullopt;
}

QByteArray otpPassword(OtpHash hash, const QByteArray& seed, const QByteArray& passPhrase, int count) {
    QByteArray value = fold(hash, digest(hash, seed + passPhrase));
    for (int i = 0; i < count; ++i) value = fold(hash, digest(hash, value));
    return value;
}

QString otpSixWords(const QByteArray& password) {
    quint64 bits = 0;
    for (char c : password.left(8)) bits = bits << 8 | static_cast<unsigned char>(c);
    unsigned checksum = 0;
    for (int shift = 0; shift < 64; shift += 2) checksum += (bits >> shift) & 3;
    // 66 bits: the password followed by the checksum's two low bits, cut into 11-bit words.
    QStringList words;
    for (int i = 0; i < 6; ++i) {
        const int first = 11 * i;  // index of the word's first bit, counted from the top
        unsigned index = 0;
        for (int bit = first; bit < first + 11; ++bit) {
            const unsigned value = bit < 64 ? (bits >> (63 - bit)) & 1 : (checksum >> (65 - bit)) & 1;
            index = index << 1 | value;
        }
        words << QLatin1String(kOtpDictionary[index]);
    }
    return words.join(QLatin1Char(' '));
}

QString otpHex(const QByteArray& password) { return QString::fromLatin1(password.toHex()); }

}  // namespace velocast::mail
