#pragma once
#include <QString>

namespace velocast {

// One CSV field: as it is, or quoted with its quotes doubled when it holds a comma, a quote or
// a line break.
QString csvField(const QString& value);

}  // namespace velocast
