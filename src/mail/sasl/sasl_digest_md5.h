#pragma once
// DIGEST-MD5 (RFC 2831), authentication only (qop "auth"), digest-uri "<service>/<host>".
#include "mail/sasl/sasl_mechanism.h"

#include <functional>

namespace velocast::mail {

class SaslDigestMd5 : public SaslMechanism {
public:
    // cnonce: the client nonce source; random unless a test fixes it.
    SaslDigestMd5(QString host, QString service = QStringLiteral("smtp"), std::function<QByteArray()> cnonce = {});

    QByteArray name() const override { return "DIGEST-MD5"; }
    bool isReady(const SaslCredentials&, bool fipsMode) const override { return !fipsMode; }
    // Step 0 answers the digest challenge; the server's "rspauth=" that follows must prove
    // that it knows the password too. The right one gets an empty answer, after which the
    // server sends its final 235; a wrong one cancels.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
    QString problem() const override;

private:
    QByteArray expectedRspauth_;
    bool rspauthChecked_ = false;
    bool rspauthWrong_ = false;
    QString host_;
    QString service_;
    std::function<QByteArray()> cnonce_;
};

}  // namespace velocast::mail
