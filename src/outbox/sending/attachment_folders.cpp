#include "outbox/sending/attachment_folders.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace velocast {

mail::AttachmentPolicy attachmentPolicy(const LocalSettings& settings, const QString& dataLinkPath, bool desktop) {
    mail::AttachmentPolicy policy;
    const QString section = QStringLiteral("attachments");
    if (settings.isSet(section, QStringLiteral("folders"))) {
        policy.folders = settings.filePaths(section, QStringLiteral("folders"));
    } else {
        policy.folders << QFileInfo(dataLinkPath).absolutePath();
        if (desktop) {
            const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
            if (!pictures.isEmpty()) policy.folders << pictures;
        }
    }
    policy.maxSize = settings.number(section, QStringLiteral("max_size"));
    policy.settingsFile = settings.path().isEmpty() ? LocalSettings::defaultPath(dataLinkPath) : settings.path();
    return policy;
}

}  // namespace velocast
