#include "mail/sasl/sasl_bearer.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace velocast::mail {

std::optional<BearerRefusal> parseBearerRefusal(const QByteArray& challenge) {
    const QJsonDocument document = QJsonDocument::fromJson(challenge);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    BearerRefusal refusal;
    // Google sends the status as a string ("401"); a number is read the same way.
    const QJsonValue status = object.value(QLatin1String("status"));
    refusal.status = status.isDouble() ? QString::number(status.toInt()) : status.toString();
    refusal.scope = object.value(QLatin1String("scope")).toString();
    return refusal;
}

std::optional<QByteArray> SaslBearerMechanism::answer(int, const QByteArray& challenge, const SaslCredentials&) {
    if (!refusal_) refusal_ = parseBearerRefusal(challenge).value_or(BearerRefusal{});
    return errorAcknowledgement();
}

std::optional<QByteArray> SaslXoauth2::initialResponse(const SaslCredentials&) const {
    return "user=" + bearer_.userName.toUtf8() +
           "\x01"
           "auth=Bearer " +
           bearer_.accessToken.toUtf8() + "\x01\x01";
}

std::optional<QByteArray> SaslOauthBearer::initialResponse(const SaslCredentials&) const {
    QByteArray authzid = bearer_.userName.toUtf8();
    authzid.replace("=", "=3D").replace(",", "=2C");
    return "n,a=" + authzid +
           ",\x01"
           "host=" +
           bearer_.host.toUtf8() +
           "\x01"
           "port=" +
           QByteArray::number(bearer_.port) +
           "\x01"
           "auth=Bearer " +
           bearer_.accessToken.toUtf8() + "\x01\x01";
}

}  // namespace velocast::mail
