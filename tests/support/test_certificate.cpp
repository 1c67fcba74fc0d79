#include "support/test_certificate.h"

#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdexcept>

namespace velocast::mail::testing {

TestCertificate::TestCertificate() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    if (!key || !cert || !dir_.isValid())
        throw std::runtime_error("test certificate: OpenSSL failed");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());

    FILE* out = std::fopen(certificatePath().toLocal8Bit().constData(), "w");
    PEM_write_X509(out, cert);
    std::fclose(out);
    out = std::fopen(keyPath().toLocal8Bit().constData(), "w");
    PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(out);
    X509_free(cert);
    EVP_PKEY_free(key);
}

}  // namespace velocast::mail::testing
