#pragma once
// Notices for a person at the screen: modal message boxes, which keep timers firing.
#include "notices/notices.h"

namespace velocast {

class MessageBoxNotices : public Notices {
public:
    void MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) override;
    void endingNotice(const QString& text, const QString& detail) override;
    void reportError(const QString& errorText) override;
};

}  // namespace velocast
