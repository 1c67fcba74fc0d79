#include "data/host_schema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

using namespace velocast;

namespace {

// A fresh SQLite file in a temporary folder, closed and removed with the fixture.
class FreshSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        name = QUuid::createUuid().toString();
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dir.filePath(QStringLiteral("host.db")));
        ASSERT_TRUE(db.open());
    }
    void TearDown() override {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    QTemporaryDir dir;
    QString name;
    QSqlDatabase db;
};

TEST_F(FreshSqlite, EveryDeclaredColumnExistsWithEitherReceiptForm) {
    for (ReceiptColumns form : {ReceiptColumns::Text, ReceiptColumns::Integer}) {
        QSqlQuery q(db);
        for (const QString& table : hostTables()) q.exec(QStringLiteral("DROP TABLE IF EXISTS ") + table);
        QString error;
        ASSERT_TRUE(createHostSchema(db, {form, true}, &error)) << error.toStdString();

        const QStringList present = db.tables();
        for (const QString& table : hostTables()) {
            ASSERT_TRUE(present.contains(table)) << table.toStdString();
            const QSqlRecord record = db.record(table);
            for (const ColumnDef& col : hostColumns(table))
                EXPECT_TRUE(record.contains(col.name)) << table.toStdString() << "." << col.name.toStdString();
            for (const QString& col : declaredColumns(table))
                EXPECT_TRUE(record.contains(col)) << table.toStdString() << "." << col.toStdString();
        }
        // The run table belongs to the program, never to the host schema.
        for (const QString& table : present) EXPECT_FALSE(table.startsWith(kRunTablePrefix, Qt::CaseInsensitive));
    }
}

TEST_F(FreshSqlite, IdentitiesNumberThemselvesAndFlagsAreIntegers) {
    ASSERT_TRUE(createHostSchema(db));
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO ControleEmail (DATA, MEDICA) VALUES ('2024-03-15 00:00:00', 1)")));
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO ControleEmail (DATA) VALUES ('2024-03-16')")));
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT ID, typeof(MEDICA) FROM ControleEmail ORDER BY ID")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    EXPECT_EQ(q.value(1).toString(), QStringLiteral("integer"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 2);
}

TEST_F(FreshSqlite, FailedCreationLeavesNothingBehind) {
    QSqlQuery q(db);
    // A host table of the same name already there: the whole creation fails and is undone.
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE ACESSO (X TEXT)")));
    QString error;
    EXPECT_FALSE(createHostSchema(db, {}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ACESSO"))) << error.toStdString();
    EXPECT_EQ(db.tables(), QStringList{QStringLiteral("ACESSO")});
}

TEST(DeclaredColumns, ListsOfTheOpenedTables) {
    struct Case {
        QString table;
        QStringList mustHave;
        int count;
    };
    const Case cases[] = {
        {"Velocast", {"ID", "Email", "Assunto", "Texto", "IMAGEM_CORPO_MARKETING"}, 5},
        {"CONTROLEEMAIL", {"DATA", "MEDICA", "AUSENTES", "FIDELIDADE"}, 10},
        {"Qzcvar", {"PRAZOAVALMED", "PRAZOAVALFUN", "FERIADOS"}, 3},
        // Columns the program never reads are still declared.
        {"Qzcvar2",
         {"EMAIL", "ASSUNTO_NOVO", "ASSUNTO_RETORNO", "MARKETING_NOVO", "MARKETING_RETORNO", "ICORPO_MARKETING_NOVO",
          "ICORPO_MARKETING_RETORNO", "MARKETING_ANIVERSARUANETE", "ICORPO_MARKETING_ANIVERSARUANETE",
          "ASSUNTO_ANIVERSARIANTE", "STMP_PROVEDOR", "IdSMTP_UseTLS", "USERNAME", "PASSWORD", "TRANCAMENTO_DIAS",
          "FIDELIDADE_MESES", "AUSENTES_DIAS"},
         32 + 3 + 6 + 7},
        {"Caixa", {"DATAABERTURA"}, 1},
        {"AlunosAtivos", {"MATRICULA", "MODALIDADE", "PLANOS", "SAIDA", "BOLSISTA"}, 5},
        {"TempFedelidade093015", {"MATRICULA"}, 1},
        {"RECEB", {}, 0},  // only queried, never opened as a table
        {"NoSuchTable", {}, 0},
    };
    for (const Case& c : cases) {
        const QStringList cols = declaredColumns(c.table);
        EXPECT_EQ(cols.size(), c.count) << c.table.toStdString();
        for (const QString& col : c.mustHave)
            EXPECT_TRUE(cols.contains(col)) << c.table.toStdString() << "." << col.toStdString();
    }
    EXPECT_EQ(columnWidth("Velocast", "EMAIL"), 40);
    EXPECT_EQ(columnWidth("Qzcvar", "FERIADOS"), 105);
    EXPECT_EQ(columnWidth("Velocast", "Texto"), 0);
}

}  // namespace
