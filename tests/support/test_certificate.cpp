#include "support/test_certificate.h"

#include <QFile>
#include <QHostAddress>
#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace velocast::mail::testing {

namespace {

void addExtension(X509* cert, X509* issuer, int nid, const QString& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.toLatin1().constData());
    if (!extension) throw std::runtime_error("test certificate: bad extension " + value.toStdString());
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

X509* newCertificate(EVP_PKEY* key, const char* commonName, long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    return cert;
}

void writePem(const QString& path, X509* cert, EVP_PKEY* key) {
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!out) throw std::runtime_error("test certificate: cannot write " + path.toStdString());
    if (cert) PEM_write_X509(out, cert);
    if (key) PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(out);
}

struct Authority {
    QTemporaryDir dir;
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = nullptr;
    Authority() {
        if (!key || !dir.isValid()) throw std::runtime_error("test authority: OpenSSL failed");
        cert = newCertificate(key, "Velocast Test CA", 1);
        X509_set_issuer_name(cert, X509_get_subject_name(cert));
        addExtension(cert, cert, NID_basic_constraints, QStringLiteral("critical,CA:TRUE"));
        addExtension(cert, cert, NID_key_usage, QStringLiteral("critical,keyCertSign,cRLSign"));
        addExtension(cert, cert, NID_subject_key_identifier, QStringLiteral("hash"));
        X509_sign(cert, key, EVP_sha256());
        writePem(path(), cert, nullptr);
    }
    QString path() const { return dir.filePath(QStringLiteral("test-ca.pem")); }
};

Authority& authority() {
    static Authority instance;
    return instance;
}

}  // namespace

QString testCaPath() { return authority().path(); }

TlsPolicy testTlsPolicy() {
    TlsPolicy policy;
    policy.caFile = testCaPath();
    return policy;
}

void writeSettingsTrustingTestCa(const QString& path, const QString& extraLines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    file.write(QStringLiteral("[tls]\nca_file = %1\n%2\n").arg(testCaPath(), extraLines).toUtf8());
}

TestCertificate::TestCertificate(const QStringList& names) {
    static long serial = 100;
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key || !dir_.isValid()) throw std::runtime_error("test certificate: OpenSSL failed");
    const QByteArray commonName = names.value(0, QStringLiteral("localhost")).toUtf8();
    X509* cert = newCertificate(key, commonName.constData(), ++serial);
    QStringList alternatives;
    for (const QString& name : names)
        alternatives << (QHostAddress(name).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + name;
    X509* issuer = authority().cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuer));
    if (!alternatives.isEmpty()) addExtension(cert, issuer, NID_subject_alt_name, alternatives.join(QLatin1Char(',')));
    addExtension(cert, issuer, NID_basic_constraints, QStringLiteral("CA:FALSE"));
    addExtension(cert, issuer, NID_ext_key_usage, QStringLiteral("serverAuth"));
    addExtension(cert, issuer, NID_authority_key_identifier, QStringLiteral("keyid:always"));
    X509_sign(cert, authority().key, EVP_sha256());
    writePem(certificatePath(), cert, nullptr);
    writePem(keyPath(), nullptr, key);
    X509_free(cert);
    EVP_PKEY_free(key);
}

}  // namespace velocast::mail::testing
