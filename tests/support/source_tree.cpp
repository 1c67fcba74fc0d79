#include "support/source_tree.h"

#include <QDir>

namespace velocast::testing {

QString sourceTreePath(const QString& relative) {
    const QString dir = qEnvironmentVariable("VELOCAST_SOURCE_DIR", QStringLiteral(VELOCAST_DEFAULT_SOURCE_DIR));
    return QDir(dir).filePath(relative);
}

}  // namespace velocast::testing
