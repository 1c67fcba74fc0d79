// Every e-mail of every demo campaign declares its charset, so that a reader that follows MIME
// (here Python's email package) decodes its text to exactly what the club's database holds.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "campaigns/campaign_table.h"
#include "notices/notices.h"
#include "support/parsed_message.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "mail/mime/message_composer.h"
#include "mail/mime/windows1252.h"
#include "seed/demo_database.h"

using namespace velocast;

namespace {

QJsonObject parsedByPython(const mail::ComposedMessage& message) {
    return velocast::testing::parsedByPython(message.lines);
}

// The text as its lines, the way the database holds it: one per line break, the final empty
// line (after a last break) not counted.
QStringList databaseLines(const QString& text) {
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QStringList lines = normalized.split(u'\n');
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

}  // namespace

TEST(DemoCharset, EveryDemoCampaignsTextDecodesToTheDatabasesText) {
    QStringList subjectsSeen;
    // A loyalty day and a renewal day: between them every campaign runs.
    for (const char* date : {"2025-05-02", "2025-05-30"}) {
        QTemporaryDir dir;
        seed::DemoOptions options;
        options.path = dir.filePath(QStringLiteral("club.sqlite"));
        options.date = QDate::fromString(QLatin1String(date), Qt::ISODate);
        QString error;
        ASSERT_TRUE(seed::writeDemoDatabase(options, &error)) << error.toStdString();
        SharedConnection connection(seed::demoFiles(options.path).dataLink, QStringLiteral("demo-charset"));
        connection.open();
        RecordingNotices notices;
        Session session(connection, notices);
        ASSERT_TRUE(session.ABRE_TABELAS());
        for (const CampaignStep& campaign : campaignTable()) ASSERT_TRUE(runCampaign(*campaign, session, notices));

        // Each campaign writes the same text to all its rows: one message of each is enough.
        QSqlQuery q(connection.database());
        ASSERT_TRUE(
            q.exec(QStringLiteral("SELECT Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast "
                                  "GROUP BY Assunto, Texto, IMAGEM_CORPO_MARKETING")));
        while (q.next()) {
            mail::MessageFields fields;
            fields.senderAddress = QStringLiteral("clube@example.com");
            fields.recipients = QStringLiteral("socio@example.com");  // some demo addresses are bad on purpose
            fields.subject = q.value(0).toString();
            fields.body = q.value(1).toString();
            fields.attachmentPath = q.value(2).toString();
            SCOPED_TRACE(fields.subject.toStdString());
            subjectsSeen << fields.subject;
            ASSERT_FALSE(fields.body.trimmed().isEmpty());
            // The demo's texts are all in the code page; a character outside it would show as "?".
            ASSERT_EQ(mail::fromWindows1252(mail::toWindows1252(fields.body)), fields.body);

            const QJsonObject parsed = parsedByPython(mail::composeMessage(fields));
            ASSERT_FALSE(parsed.isEmpty());
            EXPECT_TRUE(parsed[QStringLiteral("defects")].toArray().isEmpty())
                << QJsonDocument(parsed[QStringLiteral("defects")].toArray()).toJson().toStdString();
            const QJsonObject text = parsed[QStringLiteral("parts")].toArray().first().toObject();
            EXPECT_EQ(text[QStringLiteral("charset_param")].toString(), QStringLiteral("windows-1252"));
            QStringList decoded;
            for (const QJsonValue& line : text[QStringLiteral("text_lines")].toArray()) decoded << line.toString();
            QStringList expected = databaseLines(fields.body);
            if (fields.attachmentPath.isEmpty()) expected << QString();  // the plain message's closing empty line
            EXPECT_EQ(decoded, expected);
        }
        session.teardown();
    }
    subjectsSeen.removeDuplicates();
    EXPECT_GE(subjectsSeen.size(), 7) << subjectsSeen.join(QStringLiteral(" | ")).toStdString();
}
