#include "outbox/sending/tls_settings.h"

#include <QFileInfo>

namespace velocast {

std::optional<mail::TlsPolicy> tlsPolicyFromSettings(const LocalSettings& settings, QString* error) {
    const QString tls = QStringLiteral("tls");
    const QString file = settings.path().isEmpty() ? QStringLiteral("velocast.conf") : settings.path();
    mail::TlsPolicy policy;
    policy.settingsFile = file;
    const QString verify = settings.text(tls, QStringLiteral("verify"));
    policy.verify = verify == QLatin1String("pin")   ? mail::TlsVerification::Pin
                    : verify == QLatin1String("off") ? mail::TlsVerification::Off
                                                     : mail::TlsVerification::System;
    policy.pins = settings.list(tls, QStringLiteral("pin"));
    policy.legacy = settings.yes(tls, QStringLiteral("legacy"));
    policy.caFile = settings.filePath(tls, QStringLiteral("ca_file"));
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
