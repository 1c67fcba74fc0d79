// The built program against a real IMAP server (Dovecot) and a real SMTP peer: the club's
// messages go out, their delivery reports and the members' opt-out requests come back into
// the mailbox, and the next run reads them before it drains.
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "support/aiosmtpd_peer.h"
#include "support/dovecot_peer.h"
#include "support/host_database.h"
#include "support/oauth_peer.h"
#include "support/parsed_message.h"
#include "support/source_tree.h"
#include "support/test_certificate.h"
#include "support/velocast_process.h"

#include <gtest/gtest.h>

using velocast::mail::testing::AiosmtpdPeer;
using velocast::mail::testing::DovecotPeer;
using velocast::mail::testing::OAuthPeer;
using velocast::testing::HostDatabase;
using velocast::testing::ProcessResult;

namespace {

const QString kProcessed = QStringLiteral("Velocast.Processados");
const QString kBirthday = QStringLiteral("Feliz aniversario");
const QString kOverdue = QStringLiteral("Sua mensalidade");

QByteArray fixture(const char* name) {
    QFile file(velocast::testing::sourceTreePath(QStringLiteral("tests/mail/mime/reports/%1.eml").arg(name)));
    if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "fixture " << name << " cannot be read";
    return file.readAll();
}

// A report of the fixture `name` about the message `sent` instead of the one it names; `own`
// gives the report a Message-ID of its own (another report from the same server).
QByteArray reportAbout(const char* name, const QByteArray& fixtureId, const QString& sent, const QByteArray& own = {}) {
    QByteArray report = fixture(name);
    report.replace(fixtureId, sent.toLatin1());
    if (!own.isEmpty()) report.prepend("Message-ID: " + own + "\n");
    return report;
}

QByteArray request(const QString& subject) {
    return QStringLiteral(
               "From: Eva <eva@example.com>\r\nTo: clube@example.com\r\nSubject: %1\r\n"
               "Message-ID: <%2@eva.example>\r\nMIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=utf-8\r\n\r\nThis message will unsubscribe you.\r\n")
        .arg(subject, QString::number(qHash(subject)))
        .toUtf8();
}

class Club {
public:
    Club() : dovecot(dovecotOptions()), smtp(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p")) {
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utNoTLSSupport', "
                                 "USERNAME = NULL, EMAIL_PROVEDOR = 'clube@example.com', "
                                 "ASSUNTO_ANIVERSARIANTE = :b, ASSUNTO_INADIMPLENTES = :o"),
                  {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(smtp.port())},
                   {QStringLiteral("b"), kBirthday},
                   {QStringLiteral("o"), kOverdue}});
        conf = folder.filePath(QStringLiteral("velocast.conf"));
        velocast::mail::testing::writeSettingsTrustingTestCa(
            conf, QStringLiteral("[state]\ndatabase = %1\n[mailbox]\nhost = localhost\nport = %2\n"
                                 "user = club@club.test\npassword = s3cret\nsoft_bounces = 2\n")
                      .arg(folder.filePath(QStringLiteral("state.db")))
                      .arg(dovecot.implicitTlsPort()));
    }

    static DovecotPeer::Options dovecotOptions() {
        DovecotPeer::Options options;
        options.password = QStringLiteral("s3cret");
        return options;
    }

    void row(const QString& address, const QString& subject = QStringLiteral("Aviso")) {
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), address},
                                                 {QStringLiteral("Assunto"), subject},
                                                 {QStringLiteral("Texto"), QStringLiteral("Oi")}});
    }

    ProcessResult run(QStringList arguments) {
        arguments << QStringLiteral("--config") << conf << QStringLiteral("--data-link") << host.dataLinkPath();
        return velocast::testing::runBuiltProgram(QStringLiteral("velocast"), arguments);
    }
    ProcessResult runOnce() { return run({QStringLiteral("--headless"), QStringLiteral("--once")}); }

    // What the SMTP peer received in the last run: data by recipient (and by subject for eva).
    QMap<QString, QByteArray> received(int count) {
        QMap<QString, QByteArray> byRecipient;
        for (int i = 0; i < count; ++i) {
            const QJsonObject message = smtp.nextMessage();
            const QString to = message.value(QStringLiteral("to")).toArray().at(0).toString();
            QString key = to;
            const QByteArray data = message.value(QStringLiteral("data")).toString().toLatin1();
            if (to == QLatin1String("eva@example.com"))
                key += data.contains(kBirthday.toLatin1()) ? QStringLiteral(" birthday") : QStringLiteral(" overdue");
            byRecipient.insert(key, data);
        }
        return byRecipient;
    }

    HostDatabase host;
    QTemporaryDir folder;
    DovecotPeer dovecot;
    AiosmtpdPeer smtp;
    QString conf;
};

QString messageId(const QByteArray& data) {
    const auto match =
        QRegularExpression(QStringLiteral("(?im)^Message-ID:\\s*(<[^>]+>)")).match(QString::fromLatin1(data));
    return match.captured(1);
}

QStringList sortedKeys(const QMap<QString, QByteArray>& map) { return map.keys(); }

}  // namespace

TEST(MailboxHeadless, ReportsAndOptOutsAreReadBeforeTheDrainAndEverythingElseStaysAsItWas) {
    Club club;
    const QStringList members{QStringLiteral("ana.souza@exemplo.net"), QStringLiteral("carla.mendes.99@gmail.com"),
                              QStringLiteral("joao.pereira@empresa-exemplo.com.br"),
                              QStringLiteral("bruno@lento.example"), QStringLiteral("keeper@example.com")};
    for (const QString& member : members) club.row(member);
    club.row(QStringLiteral("eva@example.com"), kBirthday);
    club.row(QStringLiteral("eva@example.com"), kOverdue);
    // Mail of the club's own that no run may touch: a member's answer already read, an
    // out-of-office, a report about a message sent by someone else.
    const quint64 answer = club.dovecot.deliver(fixture("member-reply"), {QStringLiteral("\\Seen")});
    const quint64 away = club.dovecot.deliver(fixture("out-of-office"));
    const quint64 foreign = club.dovecot.deliver(fixture("postfix-hard"), {QStringLiteral("\\Flagged")});

    ProcessResult first = club.runOnce();
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const QMap<QString, QByteArray> sent = club.received(7);
    ASSERT_EQ(sent.size(), 7) << sortedKeys(sent).join(QLatin1Char(' ')).toStdString();

    // The delivery reports of three providers for the hard bounces, a delay twice (the same
    // report read again counts once), and a request built from the birthday message's link.
    QByteArray anaReport = reportAbout("postfix-hard", "<20261210093058.5f1c2ab39e4d7a01@academia-exemplo.com.br>",
                                       messageId(sent.value(members[0])));
    anaReport.replace("4F2A11C0042@", "4F2A11C0099@");  // not the foreign report's own Message-ID
    club.dovecot.deliver(anaReport);
    club.dovecot.deliver(reportAbout("gmail-hard", "<20261210093319.9a8b7c6d5e4f3a2b@academia-exemplo.com.br>",
                                     messageId(sent.value(members[1]))));
    club.dovecot.deliver(reportAbout("exchange-hard", "<20261210093101.77aa01c2e3f4a5b6@academia-exemplo.com.br>",
                                     messageId(sent.value(members[2]))));
    const QByteArray delayed =
        reportAbout("postfix-delayed", "<20261210223041.0c9e77d1f2a3b4c5@academia-exemplo.com.br>",
                    messageId(sent.value(members[3])));
    club.dovecot.deliver(delayed);
    club.dovecot.deliver(delayed);
    auto parsed = [](QByteArray data) {
        return velocast::testing::parsedByPython(data.replace("\r\n", "\n").split('\n'));
    };
    const QJsonObject link =
        parsed(sent.value(QStringLiteral("eva@example.com birthday")))[QStringLiteral("list_unsubscribe")].toObject();
    const QString subject = link[QStringLiteral("subject")].toString();
    ASSERT_TRUE(subject.endsWith(QLatin1String(" eva@example.com"))) << subject.toStdString();
    EXPECT_TRUE(
        parsed(sent.value(QStringLiteral("eva@example.com overdue")))[QStringLiteral("list_unsubscribe")].isNull());
    club.dovecot.deliver(request(QStringLiteral("Re: ") + subject));
    // One altered character, and eva's token put to another address: nothing.
    QString altered = subject;
    const qsizetype at = altered.indexOf(QLatin1Char(' ')) - 3;
    altered[at] = altered[at] == QLatin1Char('a') ? QLatin1Char('b') : QLatin1Char('a');
    const quint64 forged = club.dovecot.deliver(request(altered));
    QString other = subject;
    other.replace(QLatin1String("eva@example.com"), QLatin1String("keeper@example.com"));
    const quint64 otherAddress = club.dovecot.deliver(request(other));
    const QMap<quint64, QStringList> untouched{{answer, club.dovecot.flags(answer)},
                                               {away, club.dovecot.flags(away)},
                                               {foreign, club.dovecot.flags(foreign)},
                                               {forged, club.dovecot.flags(forged)},
                                               {otherAddress, club.dovecot.flags(otherAddress)}};

    // The next run: every member again, each campaign of eva's once more.
    for (const QString& member : members) club.row(member);
    club.row(QStringLiteral("eva@example.com"), kBirthday);
    club.row(QStringLiteral("eva@example.com"), kOverdue);
    const ProcessResult second = club.runOnce();
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_FALSE(second.err.contains(QLatin1String("velocast: warning: the mailbox"))) << second.err.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(second.err.contains(
            QStringLiteral("velocast: warning: suppressed address, outbox row removed: address=\"%1\"")
                .arg(members[i])))
            << second.err.toStdString();
    const QMap<QString, QByteArray> resent = club.received(3);
    EXPECT_EQ(sortedKeys(resent),
              (QStringList{QStringLiteral("bruno@lento.example"), QStringLiteral("eva@example.com overdue"),
                           QStringLiteral("keeper@example.com")}));
    EXPECT_EQ(club.smtp.nextEvent(500), QByteArray("!no event"));
    EXPECT_EQ(club.host.count(QStringLiteral("Velocast")), 0);

    // The reports and the request moved; everything else where it was, flags as they were.
    EXPECT_EQ(club.dovecot.uids(kProcessed).size(), 6) << club.dovecot.mailboxes().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(club.dovecot.uids(), QList<quint64>(untouched.keyBegin(), untouched.keyEnd()));
    for (auto it = untouched.cbegin(); it != untouched.cend(); ++it)
        EXPECT_EQ(club.dovecot.flags(it.key()), it.value()) << "uid " << it.key();

    const ProcessResult list =
        club.run({QStringLiteral("--suppressed"), QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.takeFirst(), QStringLiteral("address,scope,reason,date,source"));
    QStringList listed;
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char(','));
        listed << fields.value(0) + QLatin1Char(' ') + fields.value(1) + QLatin1Char(' ') +
                      fields.value(fields.size() - 1);
    }
    listed.sort();
    EXPECT_EQ(listed, (QStringList{QStringLiteral("ana.souza@exemplo.net all bounce"),
                                   QStringLiteral("carla.mendes.99@gmail.com all bounce"),
                                   QStringLiteral("eva@example.com marketing unsubscribe"),
                                   QStringLiteral("joao.pereira@empresa-exemplo.com.br all bounce")}))
        << list.out.toStdString();
    const ProcessResult history = club.run({QStringLiteral("--history"), QStringLiteral("bruno@lento.example")});
    EXPECT_TRUE(history.out.contains(QLatin1String("bounced"))) << history.out.toStdString();
    EXPECT_FALSE(history.out.contains(QLatin1String("suppressed"))) << history.out.toStdString();
    const ProcessResult ana = club.run({QStringLiteral("--history"), members[0]});
    EXPECT_TRUE(ana.out.contains(QLatin1String("bounced")) && ana.out.contains(QLatin1String("suppressed")))
        << ana.out.toStdString();

    // A second soft bounce of bruno's (another report) reaches the count; ana's record is
    // fixed and she is taken off the list.
    club.dovecot.deliver(reportAbout("postfix-delayed", "<20261210223041.0c9e77d1f2a3b4c5@academia-exemplo.com.br>",
                                     messageId(resent.value(QStringLiteral("bruno@lento.example"))),
                                     "<second-delay@mx.test>"));
    const ProcessResult restored =
        club.run({QStringLiteral("--unsuppress"), QStringLiteral(" Ana.Souza@exemplo.net ")});
    EXPECT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    EXPECT_NE(club.run({QStringLiteral("--unsuppress"), members[0]}).exitCode, 0);
    club.row(members[0]);
    club.row(members[3]);
    const ProcessResult third = club.runOnce();
    ASSERT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_TRUE(
        third.err.contains(QStringLiteral("suppressed address, outbox row removed: address=\"%1\"").arg(members[3])))
        << third.err.toStdString();
    EXPECT_EQ(sortedKeys(club.received(1)), QStringList{members[0]});
    EXPECT_EQ(club.smtp.nextEvent(500), QByteArray("!no event"));
}

TEST(MailboxHeadless, AMailboxThatRefusesTheSignInIsOneWarningAndSendingGoesOn) {
    Club club;
    club.row(QStringLiteral("keeper@example.com"));
    QFile file(club.conf);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("folder = Nenhuma\n");
    file.close();
    const ProcessResult missingFolder = club.runOnce();
    EXPECT_EQ(missingFolder.exitCode, 0) << missingFolder.err.toStdString();
    EXPECT_EQ(missingFolder.err.count(QLatin1String("velocast: warning: the mailbox")), 1)
        << missingFolder.err.toStdString();
    EXPECT_TRUE(missingFolder.err.contains(QLatin1String("change [mailbox] folder")))
        << missingFolder.err.toStdString();
    EXPECT_EQ(club.received(1).keys(), QStringList{QStringLiteral("keeper@example.com")});

    // The user named nowhere in the section: the SMTP account's, which this server refuses.
    QString text;
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    text = QString::fromUtf8(file.readAll());
    file.close();
    text.remove(QStringLiteral("folder = Nenhuma\n")).remove(QStringLiteral("user = club@club.test\n"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    club.host.exec(QStringLiteral("UPDATE Qzcvar2 SET USERNAME = 'someone@club.test'"));
    const ProcessResult check = club.run({QStringLiteral("--check")});
    EXPECT_TRUE(check.out.contains(QLatin1String("change Qzcvar2.USERNAME or [mailbox] password")))
        << check.out.toStdString();
}

TEST(MailboxHeadless, SignsInToTheMailboxWithATokenTheEndpointIssued) {
    OAuthPeer::Options provider;
    provider.user = QStringLiteral("club@club.test");
    provider.clientSecret = QStringLiteral("app-secret");
    OAuthPeer oauth(provider);
    DovecotPeer::Options options;
    options.introspectionUrl = oauth.endpoint(QStringLiteral("introspect"));
    DovecotPeer dovecot(options);
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseExplicitTLS', "
                             "USERNAME = 'club@club.test', EMAIL_PROVEDOR = 'club@club.test'"),
              {{QStringLiteral("s"), QStringLiteral("localhost*%1").arg(oauth.smtpPort())}});
    QTemporaryDir folder;
    const QString conf = folder.filePath(QStringLiteral("velocast.conf"));
    velocast::mail::testing::writeSettingsTrustingTestCa(
        conf, QStringLiteral("[oauth]\nprovider = custom\ngrant = client_credentials\nclient_id = velocast-test\n"
                             "client_secret = app-secret\ntoken_endpoint = %1\nca_file = %2\n"
                             "[mailbox]\nhost = localhost\nport = %3\n")
                  .arg(oauth.endpoint(QStringLiteral("token")), velocast::mail::testing::testCaPath())
                  .arg(dovecot.implicitTlsPort()));
    const ProcessResult check = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"), {QStringLiteral("--check"), QStringLiteral("--config"), conf,
                                     QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_TRUE(check.out.contains(
        QStringLiteral("\u2713 mailbox localhost:%1: signed in as club@club.test").arg(dovecot.implicitTlsPort())))
        << check.out.toStdString() << check.err.toStdString();
    EXPECT_TRUE(oauth.events().contains(QStringLiteral("INTROSPECT ok")));
}

// The club's daily report: one e-mail per business date after the day's drain, through the
// same SMTP account, with the member behind each bounced or opted-out address; kept for the
// next drain when the server refuses it, and never sent twice for one date.
TEST(DailyReport, GoesOncePerBusinessDateWithTheDaysCountsAndTheMembersToFix) {
    Club club;
    QFile file(club.conf);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("[report]\nto = gerencia@clube.test\n[sending]\nper_day = 2\n");
    file.close();
    // Ana's record carries another spelling of her address; the birthday campaign writes Eva's row.
    club.host.insert(QStringLiteral("AlunosAtivos"),
                     {{QStringLiteral("MATRICULA"), QStringLiteral("0042")},
                      {QStringLiteral("NOME"), QStringLiteral("Ana Souza")},
                      {QStringLiteral("EMAIL"), QStringLiteral(" Ana.Souza@exemplo.net")}});
    club.host.insert(QStringLiteral("AlunosAtivos"),
                     {{QStringLiteral("MATRICULA"), QStringLiteral("0077")},
                      {QStringLiteral("EMAIL"), QStringLiteral("eva@example.com")},
                      {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")},
                      {QStringLiteral("DATA_NASCIMENTO"), QStringLiteral("1990-05-20")}});
    club.host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim', TEXTO_ANIVERSARIANTE = 'Oi'"));
    const QString ana = QStringLiteral("ana.souza@exemplo.net");
    club.row(ana);
    club.row(QStringLiteral("eva@example.com"), kOverdue);
    auto useServer = [&](quint16 port) {
        club.host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s"),
                       {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(port)}});
    };

    // The server takes the members' messages but not, for now, the report's recipient; the
    // first run stops at the day's limit of two, which the report shows as a warning.
    {
        AiosmtpdPeer busy(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"), {},
                          {QStringLiteral("gerencia@clube.test=451 4.2.1 mailbox busy, try later")});
        useServer(busy.port());
        const ProcessResult paced = club.runOnce();
        EXPECT_TRUE(paced.err.contains(QLatin1String("pacing limit"))) << paced.err.toStdString();
        EXPECT_FALSE(paced.err.contains(QLatin1String("daily report"))) << paced.err.toStdString();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString settings = QString::fromUtf8(file.readAll()).remove(QStringLiteral("per_day = 2\n"));
        file.close();
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(settings.toUtf8());
        file.close();
        const ProcessResult first = club.runOnce();
        ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
        EXPECT_TRUE(first.err.contains(QLatin1String("the daily report of 2024-05-20 could not go now")))
            << first.err.toStdString();
        QStringList to;
        QMap<QString, QByteArray> sent;
        for (int i = 0; i < 3; ++i) {
            const QJsonObject message = busy.nextMessage();
            const QString address = message.value(QStringLiteral("to")).toArray().at(0).toString();
            const QByteArray data = message.value(QStringLiteral("data")).toString().toLatin1();
            sent.insert(address + (data.contains(kBirthday.toLatin1()) ? QStringLiteral(" birthday") : QString()),
                        data);
        }
        ASSERT_EQ(sent.size(), 3);
        EXPECT_EQ(busy.nextEvent(500), QByteArray("!no event"));
        // Ana's address bounces; Eva asks for no more marketing mail.
        club.dovecot.deliver(reportAbout("postfix-hard", "<20261210093058.5f1c2ab39e4d7a01@academia-exemplo.com.br>",
                                         messageId(sent.value(ana))));
        QByteArray birthday = sent.value(QStringLiteral("eva@example.com birthday"));
        const QJsonObject link = velocast::testing::parsedByPython(birthday.replace("\r\n", "\n").split('\n'))
                                     .value(QStringLiteral("list_unsubscribe"))
                                     .toObject();
        club.dovecot.deliver(request(link.value(QStringLiteral("subject")).toString()));
    }

    // The next run on the same business date: nothing in the outbox, the report goes.
    useServer(club.smtp.port());
    const ProcessResult second = club.runOnce();
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QJsonObject message = club.smtp.nextMessage();
    EXPECT_EQ(club.smtp.nextEvent(500), QByteArray("!no event"));
    EXPECT_EQ(message.value(QStringLiteral("to")).toArray(), QJsonArray{QStringLiteral("gerencia@clube.test")});
    QByteArray data = message.value(QStringLiteral("data")).toString().toLatin1();
    const QJsonObject parsed = velocast::testing::parsedByPython(data.replace("\r\n", "\n").split('\n'));
    EXPECT_EQ(parsed.value(QStringLiteral("from_address")).toString(), QStringLiteral("clube@example.com"));
    EXPECT_TRUE(parsed.value(QStringLiteral("list_unsubscribe")).isNull());
    EXPECT_EQ(parsed.value(QStringLiteral("subject")).toString(),
              QStringLiteral("Velocast: relatório de e-mails de 20/05/2024"));
    const QJsonArray parts = parsed.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2) << data.toStdString();
    QStringList body;
    for (const QJsonValue& line : parts.at(0).toObject().value(QStringLiteral("text_lines")).toArray())
        body << line.toString();
    const QString text = body.join(QLatin1Char('\n'));
    // Per campaign: written (not known for rows the test wrote itself), sent, deferred, given
    // up, invalid, suppressed; then the members behind the addresses.
    for (const char* expected :
         {"(?m)^  \\(sem campanha\\) +- +1 +0 +0 +0 +0$", "(?m)^  ANIVERSARIANTE +1 +1 +0 +0 +0 +0$",
          "(?m)^  INADIMPLENTES +- +1 +0 +0 +0 +0$",
          "(?m)^  \\d\\d:\\d\\d  ana.souza@exemplo.net  Ana Souza \\(nº 0042\\)",
          "(?m)^Descadastramentos.*\\n  \\d\\d:\\d\\d  eva@example.com \\(nº 0077\\)  ",
          "(?m)^Avisos que pedem uma pessoa:\\n  - \\d\\d:\\d\\d O limite de envio foi atingido"})
        EXPECT_TRUE(text.contains(QRegularExpression(QString::fromUtf8(expected)))) << expected << "\n"
                                                                                    << text.toStdString();
    const QJsonObject csv = parts.at(1).toObject();
    EXPECT_EQ(csv.value(QStringLiteral("content_type")).toString(), QStringLiteral("text/csv"));
    EXPECT_EQ(csv.value(QStringLiteral("filename")).toString(), QStringLiteral("velocast-relatorio-2024-05-20.csv"));
    const QString csvText =
        QString::fromUtf8(QByteArray::fromBase64(csv.value(QStringLiteral("data")).toString().toLatin1()));
    for (const char* expected : {"(?m)^2024-05-20,devolvido,[^,]*,,,,,,,,,ana.souza@exemplo.net,Ana Souza,0042,",
                                 "(?m)^2024-05-20,descadastrado,[^,]*,,,,,,,,,eva@example.com,,0077,"})
        EXPECT_TRUE(csvText.contains(QRegularExpression(QString::fromUtf8(expected)))) << csvText.toStdString();

    // --report prints the same report, counted by the same business date.
    const ProcessResult printed = club.run({QStringLiteral("--report")});
    ASSERT_EQ(printed.exitCode, 0) << printed.err.toStdString();
    EXPECT_EQ(printed.out.trimmed(), text.trimmed());
    const ProcessResult printedCsv =
        club.run({QStringLiteral("--report"), QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(printedCsv.out.trimmed(), csvText.trimmed().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    // A later run the same business date sends its rows and no second report.
    club.row(QStringLiteral("keeper@example.com"));
    const ProcessResult third = club.runOnce();
    ASSERT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_EQ(club.received(1).keys(), QStringList{QStringLiteral("keeper@example.com")});
    EXPECT_EQ(club.smtp.nextEvent(500), QByteArray("!no event"));
}
