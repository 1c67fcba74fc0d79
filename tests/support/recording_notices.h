#pragma once
// Notices for tests: remembers every notice and error report; an optional hook runs while the
// "box" is open, as timers would fire inside a real modal box.
#include <QString>
#include <functional>
#include <vector>

#include "notices/notices.h"

namespace velocast {

class RecordingNotices : public Notices {
public:
    struct Shown {
        QString kind, text, detail;  // for an error report: kind "error", text the report
        bool isError() const { return kind == QLatin1String("error"); }
    };
    void MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) override;
    void reportError(const QString& errorText) override;

    std::vector<Shown> shown;
    std::function<void(const Shown&)> whileOpen;
};

}  // namespace velocast
