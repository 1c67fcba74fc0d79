#pragma once
// The tray program needs a desktop. Without one, Qt would abort with its own text; the
// program says instead what is missing and how to run without it.
#include <QString>

namespace velocast {

// Empty when a display can be reached (or the platform chosen needs none); otherwise what is
// missing, e.g. "DISPLAY is not set". Runs before any Qt application object exists.
QString missingDisplay();

// The one line printed when missingDisplay() is not empty.
QString noDisplayMessage(const QString& missing);

}  // namespace velocast
