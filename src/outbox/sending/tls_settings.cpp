#include "outbox/sending/tls_settings.h"

#include <QFileInfo>

namespace velocast {

std::optional<mail::TlsPolicy> tlsPolicyFromSettings(const Settings& settings, QString* error) {
    const QString file = settings.fileForMessages();
    mail::TlsPolicy policy;
    policy.settingsFile = file;
    const QString& verify = settings.tls.verify;
    policy.verify = verify == QLatin1String("pin")   ? mail::TlsVerification::Pin
                    : verify == QLatin1String("off") ? mail::TlsVerification::Off
                                                     : mail::TlsVerification::System;
    policy.pins = settings.tls.pins;
    policy.legacy = settings.tls.legacy;
    policy.caFile = settings.tls.caFile;
    for (const QString& pin : policy.pins) {
        if (!mail::isWellFormedPin(pin)) {
            *error = QStringLiteral(
                         "settings file %1: [tls] pin = %2 is not a key pin; write it as velocast "
                         "--test-smtp prints it, sha256/ and the base64 of 32 bytes")
                         .arg(file, pin);
            return std::nullopt;
        }
    }
    if (policy.verify == mail::TlsVerification::Pin && policy.pins.isEmpty()) {
        *error = QStringLiteral(
                     "settings file %1: [tls] verify = pin needs at least one pin = sha256/... line "
                     "(velocast --test-smtp prints the server's)")
                     .arg(file);
        return std::nullopt;
    }
    if (!policy.caFile.isEmpty() && !(QFileInfo(policy.caFile).isFile() && QFileInfo(policy.caFile).isReadable())) {
        *error = QStringLiteral(
                     "settings file %1: [tls] ca_file = %2 names no readable file; give the path of a PEM "
                     "bundle of certificates")
                     .arg(file, policy.caFile);
        return std::nullopt;
    }
    return policy;
}

}  // namespace velocast
