#include "data/club_identity.h"

#include <QFileInfo>

#include "data/data_link.h"
#include "data/db_error.h"

namespace velocast {

ClubIdentity clubIdentity(const QString& dataLinkPath) {
    try {
        return {readDataLink(dataLinkPath).identity, QString()};
    } catch (const DbError& e) {
        const QString canonical = QFileInfo(dataLinkPath).canonicalFilePath();
        return {QStringLiteral("udl:") + (canonical.isEmpty() ? QFileInfo(dataLinkPath).absoluteFilePath() : canonical),
                e.message()};
    }
}

}  // namespace velocast
