// Delivery reports in the shapes Postfix, Exchange Online and Gmail send, the automatic
// answers that are no report, and what each recipient's status means.
#include "mail/mime/delivery_report.h"

#include <QFile>

#include <gtest/gtest.h>

#include "support/qt_printers.h"
#include "support/source_tree.h"

namespace velocast::mail {
namespace {

QByteArray fixture(const char* name) {
    QFile file(testing::sourceTreePath(QStringLiteral("tests/mail/mime/reports/") + QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

TEST(DeliveryReport, ReadsTheShapesOfTheBigProviders) {
    struct Case {
        const char* file;
        const char* key;
        const char* reportingMta;
        const char* originalMessageId;
        const char* finalRecipient;
        const char* originalRecipient;
        const char* action;
        const char* status;
        const char* diagnosticStart;
        BounceKind kind;
    };
    const Case cases[] = {
        {"postfix-hard.eml", "<20261210123102.4F2A11C0042@mail.provedor.com.br>", "mail.provedor.com.br",
         "<20261210093058.5f1c2ab39e4d7a01@academia-exemplo.com.br>", "ana.souza@exemplo.net", "Ana.Souza@exemplo.net",
         "failed", "5.1.1", "smtp; 550 5.1.1 <ana.souza@exemplo.net>: Recipient address rejected: User unknown",
         BounceKind::Hard},
        {"postfix-delayed.eml", nullptr /* no Message-ID: a hash */, "mail.provedor.com.br",
         "<20261210223041.0c9e77d1f2a3b4c5@academia-exemplo.com.br>", "bruno@lento.example", "", "delayed", "4.4.1",
         "X-Postfix; connect to mx.lento.example", BounceKind::Soft},
        {"exchange-hard.eml", "<7c1e2b3a-4d5f-4e6a-8b7c-9d0e1f2a3b4c@BN8PR12MB3345.namprd12.prod.outlook.com>",
         "BN8PR12MB3345.namprd12.prod.outlook.com", "<20261210093101.77aa01c2e3f4a5b6@academia-exemplo.com.br>",
         "joao.pereira@empresa-exemplo.com.br", "", "failed", "5.1.10",
         "smtp;550 5.1.10 RESOLVER.ADR.RecipientNotFound", BounceKind::Hard},
        {"exchange-policy.eml", "<0d9c8b7a-6f5e-4d3c-2b1a-0f9e8d7c6b5a@CP5PR80MB0512.lamprd80.prod.outlook.com>",
         "CP5PR80MB0512.lamprd80.prod.outlook.com", "<20261210093210.31bd44e0aa17c2f9@academia-exemplo.com.br>",
         "marina@parceiro-exemplo.com", "", "failed", "5.7.708", "smtp;550 5.7.708 Service unavailable",
         BounceKind::Policy},
        {"gmail-hard.eml", "<6571a2b3.050a0220.1c2d3.0001.GMR@mx.google.com>", "googlemail.com",
         "<20261210093319.9a8b7c6d5e4f3a2b@academia-exemplo.com.br>", "carla.mendes.99@gmail.com", "", "failed",
         "5.1.1", "smtp; 550-5.1.1 The email account that you tried to reach does not exist.", BounceKind::Hard},
        {"gmail-full.eml", "<6571a2b4.170a0220.9f8e7.0002.GMR@mx.google.com>", "googlemail.com",
         "<20261210093402.4471be09c3d2e1f0@academia-exemplo.com.br>", "diego.lima@gmail.com", "", "failed", "5.2.2",
         "smtp; 552-5.2.2 The recipient's inbox is out of storage space.", BounceKind::Soft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray raw = fixture(c.file);
        ASSERT_FALSE(raw.isEmpty());
        const auto report = readDeliveryReport(raw);
        ASSERT_TRUE(report);
        if (c.key) {
            EXPECT_EQ(report->key, QLatin1String(c.key));
        } else {
            EXPECT_TRUE(report->key.startsWith(QStringLiteral("sha256:")));
            EXPECT_EQ(readDeliveryReport(raw)->key, report->key);
        }
        EXPECT_EQ(report->reportingMta, QLatin1String(c.reportingMta));
        EXPECT_EQ(report->originalMessageId, QLatin1String(c.originalMessageId));
        ASSERT_EQ(report->recipients.size(), 1u);
        const RecipientStatus& r = report->recipients.front();
        EXPECT_EQ(r.finalRecipient, QLatin1String(c.finalRecipient));
        EXPECT_EQ(r.originalRecipient, QLatin1String(c.originalRecipient));
        EXPECT_EQ(r.action, QLatin1String(c.action));
        EXPECT_EQ(r.status, QLatin1String(c.status));
        EXPECT_TRUE(r.diagnosticCode.startsWith(QLatin1String(c.diagnosticStart))) << r.diagnosticCode.toStdString();
        EXPECT_EQ(classifyRecipient(r.action, r.status), c.kind);
        EXPECT_FALSE(isAutoReply(readMimeMessage(raw).root)) << "reports are marked auto-replied, yet are reports";
    }
}

TEST(DeliveryReport, WithoutTheReturnedMessageGmailStillNamesIt) {
    QByteArray raw = fixture("gmail-hard.eml");
    raw.truncate(raw.indexOf("--000000000000f1e2d3c4b5a69788\r\nContent-Type: message/rfc822"));
    const auto report = readDeliveryReport(raw + "--000000000000f1e2d3c4b5a69788--\r\n");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->originalMessageId, QStringLiteral("<20261210093319.9a8b7c6d5e4f3a2b@academia-exemplo.com.br>"));
}

TEST(DeliveryReport, ToleratesWhatBrokenReportersWrite) {
    // Wrapped in a multipart by a relay, blank lines and a stray line in the status part, an
    // action with a comment, a recipient named only by its original address, a returned part
    // in quoted-printable.
    QFile file(testing::sourceTreePath(QStringLiteral("tests/mail/mime/fuzz_corpus/wrapped-report.eml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto report = readDeliveryReport(file.readAll());
    ASSERT_TRUE(report);
    EXPECT_EQ(report->reportingMta, QStringLiteral("x"));
    EXPECT_EQ(report->originalMessageId, QStringLiteral("<id@x@y>"));
    ASSERT_EQ(report->recipients.size(), 2u);
    EXPECT_EQ(report->recipients[0].finalRecipient, QStringLiteral("a@b.example"));
    EXPECT_EQ(report->recipients[0].action, QStringLiteral("failed"));
    EXPECT_EQ(report->recipients[0].status, QStringLiteral("5.1.1"));
    EXPECT_EQ(report->recipients[1].finalRecipient, QStringLiteral("b@c.example"));
    EXPECT_EQ(report->recipients[1].action, QStringLiteral("delayed"));
}

TEST(DeliveryReport, WhatIsNoReport) {
    // An out-of-office answer that returns our message, a member's answer, a report forwarded
    // by someone inside a message of theirs, a report whose status part names nobody.
    const QByteArray forwarded =
        "Content-Type: multipart/mixed; boundary=f\n\n--f\n\nlook at this\n--f\n"
        "Content-Type: message/rfc822\n\n" +
        fixture("postfix-hard.eml") + "\n--f--\n";
    const QByteArray nobody =
        "Content-Type: multipart/report; report-type=delivery-status; boundary=r\n\n--r\n\ntext\n--r\n"
        "Content-Type: message/delivery-status\n\nReporting-MTA: dns; x\n\nAction: failed\nStatus: 5.1.1\n--r--\n";
    const QByteArray otherReport =
        "Content-Type: multipart/report; report-type=disposition-notification; boundary=r\n\n--r\n"
        "Content-Type: message/delivery-status\n\nFinal-Recipient: rfc822; a@b.c\nAction: failed\n--r--\n";
    for (const QByteArray& raw :
         {fixture("out-of-office.eml"), fixture("member-reply.eml"), forwarded, nobody, otherReport})
        EXPECT_FALSE(readDeliveryReport(raw)) << raw.left(60).constData();
}

TEST(DeliveryReport, AutomaticAnswers) {
    struct Case {
        const char* header;
        bool automatic;
    };
    const Case cases[] = {
        {"Auto-Submitted: auto-replied (vacation)", true},
        {"Auto-Submitted: auto-generated", true},
        {"Auto-Submitted: no", false},
        {"X-Autoreply: yes", true},
        {"Precedence: auto_reply", true},
        {"Precedence: bulk", false},
        {"Subject: Out of Office: Feliz aniversário", true},
        {"Subject: =?utf-8?Q?Resposta_autom=C3=A1tica:_Ol=C3=A1?=", true},
        {"Subject: Automatic reply: Sentimos sua falta", true},
        {"Subject: Re: Sentimos sua falta", false},
    };
    for (const Case& c : cases) {
        const QByteArray raw = QByteArray(c.header) + "\nFrom: a@example.com\n\nbody\n";
        EXPECT_EQ(isAutoReply(readMimeMessage(raw).root), c.automatic) << c.header;
    }
    EXPECT_TRUE(isAutoReply(readMimeMessage(fixture("out-of-office.eml")).root));
    EXPECT_FALSE(isAutoReply(readMimeMessage(fixture("member-reply.eml")).root));
}

TEST(DeliveryReport, ClassifiesStatusCodes) {
    struct Case {
        const char* action;
        const char* status;
        BounceKind kind;
    };
    const Case cases[] = {
        {"failed", "5.1.1", BounceKind::Hard},    {"failed", "5.1.10", BounceKind::Hard},
        {"failed", "5.2.1", BounceKind::Hard},    {"failed", "5.2.2", BounceKind::Soft},
        {"failed", "4.4.7", BounceKind::Soft},    {"delayed", "4.4.1", BounceKind::Soft},
        {"delayed", "", BounceKind::Soft},        {"failed", "5.7.1", BounceKind::Policy},
        {"failed", "5.7.26", BounceKind::Policy}, {"delayed", "4.7.0", BounceKind::Policy},
        {"failed", "5.4.4", BounceKind::Other},   {"failed", "5.0.0", BounceKind::Other},
        {"failed", "", BounceKind::Other},        {"delivered", "2.0.0", BounceKind::Other},
        {"relayed", "5.1.1", BounceKind::Other},  {"expanded", "2.0.0", BounceKind::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bounceKindName(classifyRecipient(QLatin1String(c.action), QLatin1String(c.status))),
                  bounceKindName(c.kind))
            << c.action << " " << c.status;
}

TEST(DeliveryReport, MessageIdsNormalised) {
    EXPECT_EQ(normalizedMessageId(" <a.b@c> (comment)"), "<a.b@c>");
    EXPECT_EQ(normalizedMessageId("a.b@c"), "<a.b@c>");
    EXPECT_EQ(normalizedMessageId("\r\n\t<x@y>"), "<x@y>");
    EXPECT_TRUE(normalizedMessageId("<>").isEmpty());
    EXPECT_TRUE(normalizedMessageId("").isEmpty());
    EXPECT_TRUE(normalizedMessageId(QByteArray()).isEmpty());
}

}  // namespace
}  // namespace velocast::mail
