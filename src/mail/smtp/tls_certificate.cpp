#include "mail/smtp/tls_certificate.h"

#include <ctime>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace velocast::mail {

namespace {

QString nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, static_cast<qsizetype>(size));
    BIO_free(bio);
    return text;
}

QString dateText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return QStringLiteral("?");
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return QString::fromLatin1(text);
}

// An IP entry as text: dotted for IPv4, eight hexadecimal groups for IPv6.
QString addressText(const ASN1_OCTET_STRING* address) {
    const QByteArray bytes(reinterpret_cast<const char*>(ASN1_STRING_get0_data(address)), ASN1_STRING_length(address));
    QStringList parts;
    if (bytes.size() == 4) {
        for (char byte : bytes) parts << QString::number(static_cast<unsigned char>(byte));
        return parts.join(QLatin1Char('.'));
    }
    if (bytes.size() == 16) {
        for (int i = 0; i < 16; i += 2)
            parts << QString::number(
                (static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1]), 16);
        return parts.join(QLatin1Char(':'));
    }
    return QStringLiteral("?");
}

QString listed(const QStringList& names) {
    return names.isEmpty() ? QStringLiteral("no name") : names.join(QStringLiteral(", "));
}

}  // namespace

QStringList certificateNames(X509* certificate) {
    QStringList names;
    auto* alternatives =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alternatives, i);
        if (entry->type == GEN_DNS)
            names << QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(entry->d.dNSName)),
                                         ASN1_STRING_length(entry->d.dNSName));
        else if (entry->type == GEN_IPADD) names << addressText(entry->d.iPAddress);
    }
    GENERAL_NAMES_free(alternatives);
    if (names.isEmpty()) {
        char common[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common) > 0)
            names << QString::fromUtf8(common);
    }
    return names;
}

QString describeCertificate(X509* certificate) {
    return QStringLiteral("%1, issued by %2, valid %3 to %4")
        .arg(nameText(X509_get_subject_name(certificate)), nameText(X509_get_issuer_name(certificate)),
             dateText(X509_get0_notBefore(certificate)), dateText(X509_get0_notAfter(certificate)));
}

QString certificatePin(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    return QStringLiteral("sha256/") +
           QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), digestLength).toBase64());
}

QString verificationProblem(int error, X509* leaf, X509* failing, const QString& serverName) {
    X509* about = failing ? failing : leaf;
    switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("certificate for %1, not %2").arg(listed(certificateNames(leaf)), serverName);
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("self-signed certificate for %1, which no trusted authority vouches for")
            .arg(listed(certificateNames(leaf)));
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("certificate issued by %1, which is not a trusted authority")
            .arg(nameText(X509_get_issuer_name(about)));
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("certificate of %1 expired on %2")
            .arg(nameText(X509_get_subject_name(about)), dateText(X509_get0_notAfter(about)));
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("certificate of %1 is valid only from %2")
            .arg(nameText(X509_get_subject_name(about)), dateText(X509_get0_notBefore(about)));
    case X509_V_ERR_EE_KEY_TOO_SMALL:
    case X509_V_ERR_CA_KEY_TOO_SMALL:
    case X509_V_ERR_CA_MD_TOO_WEAK:
        return QStringLiteral("certificate of %1 uses a key or signature too weak for today's security level (%2)")
            .arg(nameText(X509_get_subject_name(about)), QString::fromLatin1(X509_verify_cert_error_string(error)));
    default:
        return QStringLiteral("certificate not verified: %1")
            .arg(QString::fromLatin1(X509_verify_cert_error_string(error)));
    }
}

}  // namespace velocast::mail
