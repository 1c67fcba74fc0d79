// Where attachments may come from when the settings file says nothing, and when it does.
#include "shell/attachment_folders.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

using velocast::attachmentPolicy;
using velocast::LocalSettings;

TEST(AttachmentFolders, DefaultsToTheDataLinkFolderAndOnADesktopThePicturesFolder) {
    const LocalSettings defaults;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    EXPECT_EQ(attachmentPolicy(defaults, "/etc/velocast/Korvana.udl", false).folders, QStringList{"/etc/velocast"});
    EXPECT_EQ(attachmentPolicy(defaults, "/etc/velocast/Korvana.udl", true).folders,
              (QStringList{"/etc/velocast", pictures}));
    const auto policy = attachmentPolicy(defaults, "/etc/velocast/Korvana.udl", false);
    EXPECT_EQ(policy.maxSize, 10 * 1024 * 1024);
    EXPECT_EQ(policy.settingsFile, "/etc/velocast/velocast.conf");

    // Named folders replace the defaults (relative ones are taken from the file's folder).
    LocalSettings named;
    named.set("attachments", "folders", "/srv/imagens, /home/clube/Fotos");
    named.set("attachments", "max_size", "2M");
    const auto set = attachmentPolicy(named, "/etc/velocast/Korvana.udl", true);
    EXPECT_EQ(set.folders, (QStringList{"/srv/imagens", "/home/clube/Fotos"}));
    EXPECT_EQ(set.maxSize, 2 * 1024 * 1024);
}
