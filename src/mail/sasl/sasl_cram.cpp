#include "mail/sasl/sasl_cram.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace velocast::mail {

std::optional<QByteArray> SaslCram::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    const QByteArray key = saslBytes(c.password);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(digest_ == Digest::Md5 ? EVP_md5() : EVP_sha1(), key.constData(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(challenge.constData()), challenge.size(), mac, &length);
    return saslBytes(c.userName) + ' ' +
           QByteArray(reinterpret_cast<const char*>(mac), static_cast<qsizetype>(length)).toHex();
}

}  // namespace velocast::mail
