#include <QFile>
#include <QTemporaryDir>

#include "outbox/sending/smtp_account.h"
#include "settings/local_settings.h"
#include "settings/settings.h"
#include "shell/commands/command_line.h"
#include "mailbox/mailbox_setup.h"

#include <gtest/gtest.h>

using namespace velocast;

namespace {

// The settings `text` gives, or nothing with `error` saying why (as main refuses them).
std::optional<Settings> settingsOf(const QTemporaryDir& dir, const QByteArray& text, QString* error) {
    // A file of its own each time: QSettings keeps what it read of a path while the file's size
    // and time stamp look the same, and two cases of one length written in the same second would.
    static int written = 0;
    QFile file(dir.filePath(QStringLiteral("velocast-%1.conf").arg(++written)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return std::nullopt;
    file.write(text);
    file.close();
    auto settings = LocalSettings::load(file.fileName(), error);
    if (!settings) return std::nullopt;
    const Settings read(*settings);
    *error = mailboxSettingsProblem(read);
    if (!error->isEmpty()) return std::nullopt;
    return read;
}

}  // namespace

TEST(MailboxSettings, EachUnusableValueIsRefusedNamingItsKey) {
    QTemporaryDir dir;
    QFile secret(dir.filePath(QStringLiteral("pw")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("from-file\n");
    secret.close();
    struct Case {
        const char* text;
        const char* named;  // empty: accepted
    };
    const Case cases[] = {
        {"[mailbox]\nhost = imap.club.test\n", ""},
        {"[mailbox]\nhost = imap.club.test\npassword_file = pw\n", ""},
        {"[mailbox]\nport = 993\n", "[mailbox] port is set but [mailbox] host is not"},
        {"[mailbox]\nhost = imap.club.test\nport = 70000\n", "port"},
        {"[mailbox]\nhost = imap.club.test\ntls = none\n", "tls"},
        {"[mailbox]\nhost = imap.club.test\ncheck_minutes = 0\n", "check_minutes"},
        {"[mailbox]\nhost = imap.club.test\nsoft_bounces = -1\n", "soft_bounces"},
        {"[mailbox]\nhost = imap.club.test\npassword = a\npassword_file = pw\n", "password and password_file"},
        {"[mailbox]\nhost = imap.club.test\npassword_file = missing\n", "[mailbox] password_file"},
        {"[mailbox]\nhost = imap.club.test\nprocessed_folder =\n", "[mailbox] processed_folder is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const auto settings = settingsOf(dir, c.text, &error);
        if (*c.named == '\0') {
            EXPECT_TRUE(settings.has_value()) << error.toStdString();
            continue;
        }
        EXPECT_FALSE(settings.has_value());
        EXPECT_TRUE(error.contains(QLatin1String(c.named))) << error.toStdString();
    }
}

TEST(MailboxSettings, TheSmtpAccountSignsInUnlessTheSectionSaysOtherwise) {
    QTemporaryDir dir;
    QFile secret(dir.filePath(QStringLiteral("pw")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("from-file\n");
    secret.close();
    SmtpAccount smtp;
    smtp.userName = QStringLiteral("clube@club.test");
    smtp.password = QStringLiteral("smtp-pw");
    QString error;
    auto plain = settingsOf(dir, "[mailbox]\nhost = imap.club.test\ntls = starttls\n", &error);
    ASSERT_TRUE(plain) << error.toStdString();
    MailboxAccount account = mailboxAccount(*plain, smtp, {}, nullptr);
    EXPECT_EQ(account.endpoint.port, 143);  // the plain port with STARTTLS
    EXPECT_EQ(account.credentials.userName, smtp.userName);
    EXPECT_EQ(account.credentials.password, smtp.password);
    EXPECT_EQ(account.userSetting, QStringLiteral("Qzcvar2.USERNAME"));
    EXPECT_EQ(account.processedFolder, QStringLiteral("Velocast/Processados"));
    EXPECT_EQ(account.bounces.softBounces, 3);

    auto own =
        settingsOf(dir, "[mailbox]\nhost = imap.club.test\nuser = bounces@club.test\npassword_file = pw\n", &error);
    ASSERT_TRUE(own) << error.toStdString();
    account = mailboxAccount(*own, smtp, {}, nullptr);
    EXPECT_EQ(account.endpoint.port, 993);
    EXPECT_EQ(account.credentials.userName, QStringLiteral("bounces@club.test"));
    EXPECT_EQ(account.credentials.password, QStringLiteral("from-file"));
}

TEST(MailboxCommandLine, SuppressedAndUnsuppressRunAlone) {
    struct Case {
        QStringList args;
        bool ok;
    };
    const Case cases[] = {
        {{"--suppressed"}, true},
        {{"--suppressed", "--format", "csv"}, true},
        {{"--unsuppress", "ana@example.com"}, true},
        {{"--unsuppress"}, false},
        {{"--unsuppress", " "}, false},
        {{"--suppressed", "--unsuppress", "ana@example.com"}, false},
        {{"--suppressed", "--headless"}, false},
        {{"--unsuppress", "ana@example.com", "--history"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QString error;
        EXPECT_EQ(parseCommandLine(c.args, &error).has_value(), c.ok) << error.toStdString();
    }
}
