#pragma once
// Which of the account's settings a failure or a piece of advice is about. The client knows
// the settings only by kind; whoever stores the account says how the person who keeps it
// knows each one, so that a message names the very field to change.
#include <QString>
#include <functional>

namespace velocast::mail {

enum class SmtpSetting {
    None,
    Server,  // the host and the port
    TlsMode,
    UserName,
    Password,
};

// The name of a setting as the person who keeps the account finds it.
using SmtpSettingNames = std::function<QString(SmtpSetting setting)>;

// Plain descriptions, for a client whose caller named no settings ("the TLS mode").
QString plainSettingName(SmtpSetting setting);

}  // namespace velocast::mail
