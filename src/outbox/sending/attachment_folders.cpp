#include "outbox/sending/attachment_folders.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace velocast {

mail::AttachmentPolicy attachmentPolicy(const Settings& settings, const QString& dataLinkPath, bool desktop) {
    mail::AttachmentPolicy policy;
    if (settings.attachments.foldersSet) {
        policy.folders = settings.attachments.folders;
    } else {
        policy.folders << QFileInfo(dataLinkPath).absolutePath();
        if (desktop) {
            const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
            if (!pictures.isEmpty()) policy.folders << pictures;
        }
    }
    policy.maxSize = settings.attachments.maxSize;
    policy.settingsFile = settings.file.isEmpty() ? LocalSettings::defaultPath(dataLinkPath) : settings.file;
    return policy;
}

}  // namespace velocast
