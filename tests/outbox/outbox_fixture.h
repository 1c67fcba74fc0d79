#pragma once
#include <QSqlQuery>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "notices/notices.h"
#include "data/session.h"
#include "outbox/sending/outbox_sender.h"
#include "support/session_test.h"
#include "support/test_certificate.h"

namespace velocast::testing {

// A host database whose session is open, and the sender draining its outbox.
struct OutboxFixture : SessionTest {
    SendCounters counters;
    std::vector<std::tuple<Figure, qint32>> figures;
    int failures = 0;                                      // drains that asked the program to end
    std::vector<std::tuple<QString, QString>> refusals;    // address, reply
    std::vector<std::tuple<QDateTime, QString>> pauses;    // until (invalid: resumed), reason
    std::vector<std::tuple<QString, QString>> givenUp;     // address, last reply
    std::vector<std::tuple<QString, QString>> unreadable;  // path, reason
    std::unique_ptr<OutboxSender> sender;

    void SetUp() override {
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
        host.exec(QStringLiteral(
            "UPDATE Qzcvar2 SET NOME_PROVEDOR = 'Academia Exemplo', EMAIL_PROVEDOR = 'clube@example.com'"));
        connection.open();
        ASSERT_TRUE(session.ABRE_TABELAS());
        sender = std::make_unique<OutboxSender>(session, notices, counters);
        const OutboxSender* s = sender.get();
        QObject::connect(s, &OutboxSender::figureChanged, [this](Figure f, qint32 v) { figures.emplace_back(f, v); });
        QObject::connect(s, &OutboxSender::failed, [this] { ++failures; });
        QObject::connect(s, &OutboxSender::recipientRefused,
                         [this](const QString& a, const QString& r) { refusals.emplace_back(a, r); });
        QObject::connect(s, &OutboxSender::pauseChanged,
                         [this](const QDateTime& u, const QString& r) { pauses.emplace_back(u, r); });
        QObject::connect(s, &OutboxSender::recipientGivenUp,
                         [this](const QString& a, const QString& r) { givenUp.emplace_back(a, r); });
        QObject::connect(s, &OutboxSender::attachmentUnreadable,
                         [this](const QString& p, const QString& r) { unreadable.emplace_back(p, r); });
        sender->IdSMTP.setTimeouts({5000, 5000, 5000});
        sender->attachmentPolicy.folders = {host.folder()};
        sender->IdSMTP.setTlsPolicy(mail::testing::testTlsPolicy());
        sender->compositionOptions = [] {
            mail::CompositionOptions o;
            o.boundary = "=_velocast-test";
            return o;
        };
    }
    void TearDown() override {
        sender.reset();
        session.teardown();
    }
    void smtpAccount(const QString& server, const QString& tls = QStringLiteral("utNoTLSSupport")) {
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = :t"),
                  {{QStringLiteral("s"), server}, {QStringLiteral("t"), tls}});
        session.TBLCONTROLE2.close();
        session.openSettings();
    }
    void addRow(const QVariant& email, const QString& subject = QStringLiteral("Olá"),
                const QString& text = QStringLiteral("Texto da mensagem."), const QVariant& image = QVariant()) {
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), email},
                                                 {QStringLiteral("Assunto"), subject},
                                                 {QStringLiteral("Texto"), text},
                                                 {QStringLiteral("IMAGEM_CORPO_MARKETING"), image}});
    }
    QStringList outbox() { return host.strings(QStringLiteral("SELECT Email FROM Velocast ORDER BY ID")); }
};

}  // namespace velocast::testing
