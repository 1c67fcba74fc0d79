#include "mail/smtp/smtp_setting.h"

namespace velocast::mail {

QString plainSettingName(SmtpSetting setting) {
    switch (setting) {
    case SmtpSetting::None: return {};
    case SmtpSetting::Server: return QStringLiteral("the server's host and port");
    case SmtpSetting::TlsMode: return QStringLiteral("the TLS mode");
    case SmtpSetting::UserName: return QStringLiteral("the user name");
    case SmtpSetting::Password: return QStringLiteral("the password");
    }
    return {};
}

}  // namespace velocast::mail
