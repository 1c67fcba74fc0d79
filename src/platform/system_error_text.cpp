#include "platform/system_error_text.h"

#include <cstring>

namespace velocast {

QString systemErrorText(unsigned long code) {
    const char* text = std::strerror(static_cast<int>(code));
    return text && *text ? QString::fromLocal8Bit(text) : QStringLiteral("system error %1").arg(code);
}

}  // namespace velocast
