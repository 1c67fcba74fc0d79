#include <cstdio>

#include "shell/commands/preview_command.h"
#include "support/stream_text.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

// On SQL Server the preview runs the campaigns' real statements, and every write it makes
// (the latch, the outbox rows) is in a transaction that ends in a rollback: the club's
// database is left as it was, and a running copy waits at most that long.
TEST(PreviewOnTheWire, TheCampaignsWritesAreRolledBack) {
    TdsRule members = TdsRule::startingWith(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"));
    members.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60).row({QStringLiteral("ana@example.com")});
    WireSession wire(sessionRules(
        {{QStringLiteral("MARKETING_ANIVERSARUANETE"), QStringLiteral("Sim")},
         {QStringLiteral("ASSUNTO_ANIVERSARIANTE"), QStringLiteral("Parabéns")},
         {QStringLiteral("TEXTO_ANIVERSARIANTE"), QStringLiteral("Feliz aniversário")}},
        {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")), members}));
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = runPreview({wire.peer.dataLinkPath(), QDate(), false, true}, out, err);
    const QString printed = velocast::testing::readAllAndClose(out), said = velocast::testing::readAllAndClose(err);
    ASSERT_EQ(status, 0) << said.toStdString();
    EXPECT_EQ(printed,
              QStringLiteral("campaign,switch,address,member,subject\nANIVERSARIANTE,on,ana@example.com,,Parabéns\n"));

    // Every write is followed, before any commit, by a rollback.
    const QStringList lines = wire.ours();
    bool wrote = false, written = false;
    for (const QString& l : lines) {
        const bool write = l.contains(QLatin1String("INSERT INTO Velocast")) ||
                           l.contains(QLatin1String("INSERT INTO ControleEmail")) ||
                           l.contains(QLatin1String("UPDATE "));
        if (write) wrote = written = true;
        if (l == QLatin1String("tm: commit")) {
            EXPECT_FALSE(wrote) << "a preview's write was committed:\n" << lines.join(u'\n').toStdString();
        }
        if (l == QLatin1String("tm: rollback")) wrote = false;
    }
    EXPECT_TRUE(written) << lines.join(u'\n').toStdString();
    EXPECT_FALSE(wrote) << "a write was left without its rollback:\n" << lines.join(u'\n').toStdString();
}
