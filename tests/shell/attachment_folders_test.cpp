// Where attachments may come from when the settings file says nothing, and when it does.
#include "outbox/sending/attachment_folders.h"

#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

using velocast::attachmentPolicy;
using velocast::LocalSettings;
using velocast::Settings;

TEST(AttachmentFolders, DefaultsToTheDataLinkFolderAndOnADesktopThePicturesFolder) {
    // Absolute on this system: on Windows a path from the root takes the current drive.
    const QString etc = QDir::rootPath() + "etc/velocast";
    const QString link = etc + "/Korvana.udl";
    const Settings defaults;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    EXPECT_EQ(attachmentPolicy(defaults, link, false).folders, QStringList{etc});
    EXPECT_EQ(attachmentPolicy(defaults, link, true).folders, (QStringList{etc, pictures}));
    const auto policy = attachmentPolicy(defaults, link, false);
    EXPECT_EQ(policy.maxSize, 10 * 1024 * 1024);
    EXPECT_EQ(policy.settingsFile, etc + "/velocast.conf");

    // Named folders replace the defaults (relative ones are taken from the file's folder).
    LocalSettings named;
    const QString srv = QDir::rootPath() + "srv/imagens", home = QDir::rootPath() + "home/clube/Fotos";
    named.set("attachments", "folders", srv + ", " + home);
    named.set("attachments", "max_size", "2M");
    const auto set = attachmentPolicy(Settings(named), link, true);
    EXPECT_EQ(set.folders, (QStringList{srv, home}));
    EXPECT_EQ(set.maxSize, 2 * 1024 * 1024);
}
