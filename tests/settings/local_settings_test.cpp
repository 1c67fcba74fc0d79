#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/posix_mode.h"
#include "support/qt_printers.h"
#include "settings/local_settings.h"
#include "settings/settings_keys.h"
#include "platform/account_folders.h"

using namespace velocast;

namespace {

QString writeConf(const QTemporaryDir& dir, const QByteArray& text) {
    const QString path = dir.filePath(QStringLiteral("velocast.conf"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    return path;
}

}  // namespace

TEST(LocalSettings, AMissingFileGivesTheDefaults) {
    QTemporaryDir dir;
    QString error;
    const auto s = LocalSettings::load(dir.filePath(QStringLiteral("velocast.conf")), &error);
    ASSERT_TRUE(s) << error.toStdString();
    EXPECT_FALSE(s->fileExists());
    EXPECT_EQ(s->text(QStringLiteral("tls"), QStringLiteral("verify")), QStringLiteral("system"));
    EXPECT_EQ(s->number(QStringLiteral("attachments"), QStringLiteral("max_size")), 10 * 1024 * 1024);
    EXPECT_EQ(s->number(QStringLiteral("sending"), QStringLiteral("messages_per_connection")), 1);
    EXPECT_FALSE(s->yes(QStringLiteral("tls"), QStringLiteral("legacy")));
    EXPECT_FALSE(s->isSet(QStringLiteral("sending"), QStringLiteral("per_minute")));
}

TEST(LocalSettings, ReadsValuesListsAndPathsBesideTheFile) {
    QTemporaryDir dir;
    const QString path = writeConf(dir,
                                   "[tls]\nverify = pin\npin = sha256/AAA=, sha256/BBB=\nlegacy = yes\n"
                                   "[attachments]\nfolders = images, /srv/pictures\nmax_size = 2M\n"
                                   "[sending]\nper_minute = 30\n");
    QString error;
    const auto s = LocalSettings::load(path, &error);
    ASSERT_TRUE(s) << error.toStdString();
    EXPECT_EQ(s->text(QStringLiteral("tls"), QStringLiteral("verify")), QStringLiteral("pin"));
    EXPECT_EQ(s->list(QStringLiteral("tls"), QStringLiteral("pin")),
              (QStringList{QStringLiteral("sha256/AAA="), QStringLiteral("sha256/BBB=")}));
    EXPECT_TRUE(s->yes(QStringLiteral("tls"), QStringLiteral("legacy")));
    EXPECT_EQ(s->filePaths(QStringLiteral("attachments"), QStringLiteral("folders")),
              (QStringList{dir.filePath(QStringLiteral("images")), QStringLiteral("/srv/pictures")}));
    EXPECT_EQ(s->number(QStringLiteral("attachments"), QStringLiteral("max_size")), 2 * 1024 * 1024);
    EXPECT_EQ(s->number(QStringLiteral("sending"), QStringLiteral("per_minute")), 30);
    EXPECT_TRUE(s->isSet(QStringLiteral("sending"), QStringLiteral("per_minute")));
}

// Every refusal names the file, the key and what it allows, so the person knows what to edit.
TEST(LocalSettings, RefusesWhatItDoesNotKnowAndSaysWhatToWrite) {
    struct Case {
        const char* text;
        std::vector<const char*> mentions;
    };
    const Case cases[] = {
        {"[tls]\nverify = maybe\n", {"[tls] verify = maybe", "system, pin, off"}},
        {"[tls]\nverfy = off\n", {"unknown key \"verfy\"", "verify"}},
        {"[smtp]\nhost = x\n", {"unknown section [smtp]", "[tls]"}},
        {"verify = off\n", {"outside any section"}},
        {"[tls]\nlegacy = perhaps\n", {"yes or no"}},
        {"[sending]\nmessages_per_connection = 0\n", {"from 1 to 1000"}},
        {"[sending]\nper_day = lots\n", {"per_day = lots", "whole number"}},
        {"[attachments]\nmax_size = 10 parsecs\n", {"max_size", "K, M or G"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = writeConf(dir, c.text);
        QString error;
        EXPECT_FALSE(LocalSettings::load(path, &error)) << c.text;
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << error.toStdString();
        for (const char* m : c.mentions)
            EXPECT_TRUE(error.contains(QLatin1String(m))) << c.text << " -> " << error.toStdString();
    }
}

// The example the package installs lists every key under its own section, commented out with
// its default, and loads as it is.
TEST(LocalSettings, TheInstalledExampleListsEveryKeyWithItsDefault) {
    const QString example = qEnvironmentVariable("VELOCAST_SOURCE_DIR") + "/packaging/examples/velocast.conf";
    QFile file(example);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << example.toStdString();
    QString section;
    QMap<QString, QString> commented;  // "section/key" -> default as written
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('[')) section = line.mid(1, line.size() - 2);
        const qsizetype eq = line.indexOf(" =");
        if (line.startsWith("; ") && eq > 2 && !line.mid(2, eq - 2).contains(' '))
            commented.insert(section + '/' + line.mid(2, eq - 2), line.mid(eq + 2).trimmed());
    }
    for (const SettingKey& k : settingKeys()) {
        const QString slot = QLatin1String(k.section) + '/' + QLatin1String(k.key);
        ASSERT_TRUE(commented.contains(slot)) << slot.toStdString();
        EXPECT_EQ(commented.value(slot), QLatin1String(k.defaultValue)) << slot.toStdString();
    }
    QString error;
    EXPECT_TRUE(LocalSettings::load(example, &error)) << error.toStdString();
}
