#pragma once
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "support/host_database.h"
#include "support/test_clock.h"

namespace velocast::testing {

// A host database with the birthday campaign's settings, opened as the program opens it on
// a given business date.
struct CampaignFixture : ::testing::Test {
    HostDatabase host;
    TestClock clock{QDateTime(QDate(2024, 5, 20), QTime(10, 0))};
    std::unique_ptr<SharedConnection> connection;
    RecordingNotices notices;
    std::unique_ptr<Session> session;
    QString dataLink;  // another data-link file for the same database, e.g. through ODBC

    void SetUp() override {
        host.exec(QStringLiteral(
            "UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = 'Feliz aniversário!', "
            "TEXTO_ANIVERSARIANTE = 'Parabéns de toda a equipe.', ICORPO_MARKETING_ANIVERSARUANETE = '/srv/bolo.png'"));
    }

    // Starts the program's session on this business date ("YYYY-MM-DD HH:MM:SS").
    void startOn(const QString& businessDate) {
        host.exec(QStringLiteral("DELETE FROM Caixa"));
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), businessDate}});
        restart();
    }
    void restart() {
        if (session) session->teardown();
        session.reset();
        connection = std::make_unique<SharedConnection>(dataLink.isEmpty() ? host.dataLinkPath() : dataLink,
                                                        QStringLiteral("campaign-test"));
        connection->open();
        session = std::make_unique<Session>(*connection, notices);
        clock.advance();
        ASSERT_TRUE(session->ABRE_TABELAS());
    }
    void TearDown() override {
        if (session) session->teardown();
    }

    void addMember(const QString& email, const QString& birth, const QString& receber = QStringLiteral("Sim"),
                   const QVariant& locked = QVariant()) {
        host.insert(QStringLiteral("AlunosAtivos"),
                    {{QStringLiteral("MATRICULA"), QString::number(++members_)},
                     {QStringLiteral("EMAIL"), email.isNull() ? QVariant() : QVariant(email)},
                     {QStringLiteral("RECEBER_EMAIL"), receber},
                     {QStringLiteral("DATA_NASCIMENTO"), birth.isNull() ? QVariant() : QVariant(birth)},
                     {QStringLiteral("DATA_TRANCAMENTO"), locked}});
    }
    // A member who accepts e-mail, with the given columns of AlunosAtivos on top.
    void addMember(const QString& email, const QVariantMap& columns) {
        QVariantMap row{{QStringLiteral("MATRICULA"), QString::number(++members_)},
                        {QStringLiteral("EMAIL"), email.isNull() ? QVariant() : QVariant(email)},
                        {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")}};
        row.insert(columns);
        host.insert(QStringLiteral("AlunosAtivos"), row);
    }
    // Forgets the members, the outbox and the control rows, for the next case of a table.
    void clearHost() {
        for (const char* table : {"AlunosAtivos", "Velocast", "ControleEmail", "RECEB", "PLANOS"})
            host.exec(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        members_ = 0;
    }
    QStringList outbox() { return host.strings(QStringLiteral("SELECT Email FROM Velocast ORDER BY ID")); }

private:
    int members_ = 0;
};

}  // namespace velocast::testing
