#include "platform/system_error_text.h"

#include <windows.h>

namespace velocast {

QString systemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString result = length ? QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed()
                            : QStringLiteral("system error %1").arg(code);
    LocalFree(text);
    return result;
}

}  // namespace velocast
