#include <QFile>
#include <QStringList>
#include <cstdio>
#include <gtest/gtest.h>

#include "settings/settings.h"
#include "shell/commands/check_command.h"
#include "support/aiosmtpd_peer.h"
#include "support/stream_text.h"
#include "support/host_database.h"

using namespace velocast;
using velocast::mail::testing::AiosmtpdPeer;
using velocast::testing::HostDatabase;
using velocast::testing::readAllAndClose;

namespace {

struct Checked {
    int status = -1;
    QStringList lines;
};

Checked check(const HostDatabase& host) {
    std::FILE* out = std::tmpfile();
    Checked c;
    c.status = runCheck(host.dataLinkPath(), Settings(), out);
    c.lines = readAllAndClose(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return c;
}

QStringList failedLines(const Checked& c) {
    QStringList failed;
    for (const QString& line : c.lines)
        if (line.startsWith(QStringLiteral("\u2717"))) failed << line;
    return failed;
}

}  // namespace

// A club whose settings all hold, then one thing broken at a time: every broken setting is
// one ✗ line that names the key to change, and the status tells a script a person is needed.
TEST(CheckCommand, EachBrokenSettingIsOneFailedLineNamingItsKey) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("Segr3do!"));
    const QString smtp = QStringLiteral("127.0.0.1*%1").arg(server.port());
    struct Case {
        const char* name;
        QString change;       // SQL run on the working club
        QString key;          // empty: every check holds
        QString okText = {};  // with no key: a line that must say this
    };
    const Case cases[] = {
        {"all hold", {}, {}, QStringLiteral("answers EHLO, offers STARTTLS")},
        {"empty user is no authentication",
         QStringLiteral("UPDATE Qzcvar2 SET USERNAME = ''"),
         {},
         QStringLiteral("\u2713 Qzcvar2.USERNAME: empty, read as NULL")},
        {"port after a colon", QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1:587'"),
         QStringLiteral("Qzcvar2.STMP_PROVEDOR")},
        {"blank after the port", QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '%1 '").arg(smtp),
         QStringLiteral("Qzcvar2.STMP_PROVEDOR")},
        {"nobody listens", QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"),
         QStringLiteral("Qzcvar2.STMP_PROVEDOR")},
        {"TLS mode misspelt", QStringLiteral("UPDATE Qzcvar2 SET IdSMTP_UseTLS = 'utUseRequireTls'"),
         QStringLiteral("Qzcvar2.IdSMTP_UseTLS")},
        {"port 465 without implicit TLS", QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*465'"),
         QStringLiteral("Qzcvar2.IdSMTP_UseTLS")},
        {"user without password", QStringLiteral("UPDATE Qzcvar2 SET PASSWORD = NULL"),
         QStringLiteral("Qzcvar2.PASSWORD")},
        {"sender not an address", QStringLiteral("UPDATE Qzcvar2 SET EMAIL_PROVEDOR = 'academia'"),
         QStringLiteral("Qzcvar2.EMAIL_PROVEDOR")},
        {"campaign on without subject", QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = ' '"),
         QStringLiteral("Qzcvar2.ASSUNTO_ANIVERSARIANTE")},
        {"campaign on without text", QStringLiteral("UPDATE Qzcvar2 SET TEXTO_ANIVERSARIANTE = NULL"),
         QStringLiteral("Qzcvar2.TEXTO_ANIVERSARIANTE")},
        {"picture that may not leave",
         QStringLiteral("UPDATE Qzcvar2 SET ICORPO_MARKETING_ANIVERSARUANETE = '/etc/passwd'"),
         QStringLiteral("Qzcvar2.ICORPO_MARKETING_ANIVERSARUANETE")},
        {"no cash session", QStringLiteral("DELETE FROM Caixa"), QStringLiteral("Caixa.DATAABERTURA")},
        {"no settings row", QStringLiteral("DELETE FROM Qzcvar2"), QStringLiteral("Qzcvar2")},
        {"settings table lacks a column", QStringLiteral("ALTER TABLE Qzcvar2 DROP COLUMN IdSMTP_UseTLS"),
         QStringLiteral("Qzcvar2")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostDatabase host;
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20 08:00:00")}});
        host.exec(QStringLiteral(
                      "UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseRequireTLS', USERNAME = 'clube', "
                      "PASSWORD = 'Segr3do!', EMAIL_PROVEDOR = 'academia@example.com', "
                      "MARKETING_ANIVERSARUANETE = 'Sim', ASSUNTO_ANIVERSARIANTE = 'Parabéns', "
                      "TEXTO_ANIVERSARIANTE = 'Feliz aniversário'"),
                  {{QStringLiteral("s"), smtp}});
        if (!c.change.isEmpty()) host.exec(c.change);
        const Checked result = check(host);
        const QStringList failed = failedLines(result);
        if (c.key.isEmpty()) {
            EXPECT_EQ(result.status, 0) << result.lines.join('\n').toStdString();
            EXPECT_TRUE(failed.isEmpty()) << failed.join('\n').toStdString();
            EXPECT_TRUE(result.lines.join('\n').contains(c.okText)) << result.lines.join('\n').toStdString();
            continue;
        }
        EXPECT_EQ(result.status, 78) << result.lines.join('\n').toStdString();
        ASSERT_EQ(failed.size(), 1) << result.lines.join('\n').toStdString();
        EXPECT_TRUE(failed[0].startsWith(QStringLiteral("\u2717 %1: ").arg(c.key))) << failed[0].toStdString();
    }
}

// Without a database there is nothing else to check; the line names the data-link file.
TEST(CheckCommand, ADataLinkThatDoesNotOpenIsNamed) {
    HostDatabase host;
    QFile::remove(host.path());
    QFile::rename(host.dataLinkPath(), host.dataLinkPath() + QStringLiteral(".gone"));
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(runCheck(host.dataLinkPath(), Settings(), out), 78);
    const QString said = readAllAndClose(out);
    EXPECT_TRUE(said.contains(QStringLiteral("\u2717 data-link file %1: ").arg(host.dataLinkPath())))
        << said.toStdString();
}
