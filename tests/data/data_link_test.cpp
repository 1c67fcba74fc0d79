#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "data/data_link.h"
#include "data/db_error.h"
#include "data/sql_server_driver.h"
#include "data/sql_server_encryption.h"

using namespace velocast;

namespace {
QString writeBytes(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("Korvana.udl"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray utf16leWithBom(const QString& text) {
    QByteArray out("\xFF\xFE", 2);
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}
// The FreeTDS road, which is Linux's own and which a Windows build takes when velocast.conf
// names FreeTDS: the tests of its connection strings run on both.
struct FreeTdsRoad {
    FreeTdsRoad() { forceSqlServerOdbcDriver(QStringLiteral("FreeTDS")); }
    ~FreeTdsRoad() { forceSqlServerOdbcDriver(QString()); }
};
}  // namespace

TEST(DataLink, ReadsTheFileWindowsWritesForSqlServer) {
    FreeTdsRoad road;
    QTemporaryDir dir;
    const QString path =
        writeBytes(dir, utf16leWithBom(QStringLiteral(
                            "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                            "Provider=SQLOLEDB.1;Password=\"p;ss\"\"w\";Persist Security Info=True;User ID=sa;"
                            "Initial Catalog=ACADEMIA;Data Source=srv\\KORVANA\r\n")));
    const DataLink link = readDataLink(path);
    EXPECT_EQ(link.dialect, Dialect::Mssql);
    EXPECT_EQ(link.qtDriver, QStringLiteral("QODBC"));
    EXPECT_EQ(link.databaseName, QStringLiteral("DRIVER=FreeTDS;SERVER=srv\\KORVANA;DATABASE=ACADEMIA;UID=sa;"
                                                "PWD={p;ss\"w};TDS_Version=7.4;ClientCharset=UTF-8;APP=Velocast 2.10"));
}

TEST(DataLink, MapsEachProvider) {
    FreeTdsRoad road;
    struct Case {
        const char* init;
        const char* driver;
        Dialect dialect;
        const char* databaseName;
    };
    const Case cases[] = {
        {"Provider=SQLNCLI11;Data Source=10.0.0.5,1444;Initial Catalog=K", "QODBC", Dialect::Mssql,
         "DRIVER=FreeTDS;SERVER=10.0.0.5;PORT=1444;DATABASE=K;TDS_Version=7.4;ClientCharset=UTF-8;APP=Velocast 2.10"},
        {"Provider=MSOLEDBSQL;Data Source=(local)", "QODBC", Dialect::Mssql,
         "DRIVER=FreeTDS;SERVER=localhost;TDS_Version=7.4;ClientCharset=UTF-8;APP=Velocast 2.10"},
        // The link's own application name, when it gives one, is the one the server sees.
        {"Provider=SQLOLEDB.1;Data Source=srv;Application Name=\"Recepcao; filial 2\"", "QODBC", Dialect::Mssql,
         "DRIVER=FreeTDS;SERVER=srv;TDS_Version=7.4;ClientCharset=UTF-8;APP={Recepcao; filial 2}"},
        {"Provider=SQLite;Data Source=/var/lib/club.sqlite", "QSQLITE", Dialect::Sqlite, "/var/lib/club.sqlite"},
        {"Provider=MSDASQL.1;Extended Properties=\"DRIVER=SQLite3;Database=/x.db\"", "QODBC", Dialect::Sqlite,
         "DRIVER=SQLite3;Database=/x.db"},
    };
    for (const Case& c : cases) {
        const DataLink link =
            parseDataLink(QStringLiteral("[oledb]\n") + QLatin1String(c.init), QStringLiteral("x.udl"));
        EXPECT_EQ(link.qtDriver, QLatin1String(c.driver)) << c.init;
        EXPECT_EQ(link.dialect, c.dialect) << c.init;
        EXPECT_EQ(link.databaseName, QLatin1String(c.databaseName)) << c.init;
    }
}

// Encryption asked for in any of the providers' spellings is required of FreeTDS, and the
// server's certificate and name are checked (a freetds.conf section of the run's own, as
// FreeTDS takes the check from nowhere else) unless the file trusts the certificate.
TEST(DataLink, EncryptionAskedForChecksTheServersCertificateUnlessTheFileTrustsIt) {
    FreeTdsRoad road;
    enum Expect { Plain, Unchecked, Checked, Refused };
    struct Case {
        const char* init;
        Expect expect;
    };
    const Case cases[] = {
        {"Use Encryption for Data=True", Checked},
        {"Use Encryption for Data=True;Trust Server Certificate=False", Checked},
        {"Encrypt=True", Checked},
        {"Encrypt=yes", Checked},
        {"Encrypt=Mandatory", Checked},
        {"Encrypt=Strict;TrustServerCertificate=no", Checked},
        {"Encrypt=Optional;Use Encryption for Data=True", Checked},
        {"Use Encryption for Data=True;Trust Server Certificate=True", Unchecked},
        {"Encrypt=yes;TrustServerCertificate=yes", Unchecked},
        {"Encrypt=Optional;Use Encryption for Data=False", Plain},
        {"Trust Server Certificate=True", Plain},
        {"Encrypt=maybe", Refused},
        {"Use Encryption for Data=True;Trust Server Certificate=sometimes", Refused},
    };
    const QString plain =
        QStringLiteral("DRIVER=FreeTDS;SERVER=db;PORT=1444;TDS_Version=7.4;ClientCharset=UTF-8;APP=Velocast 2.10");
    const QString unchecked = QStringLiteral(
        "DRIVER=FreeTDS;SERVER=db;PORT=1444;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require;APP=Velocast 2.10");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.init);
        const QString text =
            QStringLiteral("[oledb]\nProvider=MSOLEDBSQL;Data Source=db,1444;") + QLatin1String(c.init);
        if (c.expect == Refused) {
            EXPECT_THROW(parseDataLink(text, QStringLiteral("x.udl")), DbError);
            continue;
        }
        const DataLink link = parseDataLink(text, QStringLiteral("x.udl"));
        if (c.expect != Checked) {
            EXPECT_EQ(link.databaseName, c.expect == Plain ? plain : unchecked);
            EXPECT_TRUE(link.verifiedHost.isEmpty());
            continue;
        }
        const QRegularExpressionMatch section =
            QRegularExpression(QStringLiteral("^DRIVER=FreeTDS;Servername=(velocast-[0-9a-f]{16});TDS_Version=7.4;"
                                              "ClientCharset=UTF-8;APP=Velocast 2.10$"))
                .match(link.databaseName);
        ASSERT_TRUE(section.hasMatch()) << link.databaseName.toStdString();
        EXPECT_EQ(link.verifiedHost, QStringLiteral("db"));
        QFile conf(QFile::decodeName(qgetenv("FREETDSCONF")));
        ASSERT_TRUE(conf.open(QIODevice::ReadOnly)) << conf.fileName().toStdString();
        const QString written = QString::fromUtf8(conf.readAll());
        EXPECT_TRUE(written.contains(QStringLiteral("[%1]\n\thost = db\n\tport = 1444\n\tencryption = require\n"
                                                    "\tca file = system\n\tcheck certificate hostname = yes\n")
                                         .arg(section.captured(1))))
            << written.toStdString();
    }
    // velocast.conf's [database] ca_file replaces the system's authorities; a value that would
    // break out of the section is refused.
    setSqlServerCaFile(QStringLiteral("/etc/velocast/club-ca.pem"));
    parseDataLink(QStringLiteral("[oledb]\nProvider=SQLOLEDB.1;Data Source=db\\KORVANA;Encrypt=yes"),
                  QStringLiteral("x.udl"));
    QFile conf(QFile::decodeName(qgetenv("FREETDSCONF")));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(conf.readAll())
                    .contains(QStringLiteral("\thost = db\n\tinstance = KORVANA\n\tencryption = require\n"
                                             "\tca file = /etc/velocast/club-ca.pem\n")));
    setSqlServerCaFile(QStringLiteral("/tmp/x.pem\n[evil]"));
    EXPECT_THROW(parseDataLink(QStringLiteral("[oledb]\nProvider=SQLOLEDB.1;Data Source=db;Encrypt=yes"),
                               QStringLiteral("x.udl")),
                 DbError);
    setSqlServerCaFile(QString());
    EXPECT_THROW(parseDataLink(QStringLiteral("[oledb]\nProvider=SQLOLEDB.1;Data Source=\"db#1\";Encrypt=yes"),
                               QStringLiteral("x.udl")),
                 DbError);
}

// Windows has Microsoft's drivers, which want the port after the server and their own
// encryption keywords; Driver 18 would otherwise encrypt and check on its own.
TEST(DataLink, SpeaksTheForcedMicrosoftDriversKeywords) {
    struct Case {
        const char* init;
        const char* databaseName;
    };
    const Case cases[] = {
        {"Provider=SQLNCLI11;Data Source=10.0.0.5,1444;Initial Catalog=K;User ID=sa;Password=x",
         "DRIVER={ODBC Driver 18 for SQL Server};SERVER=10.0.0.5,1444;DATABASE=K;UID=sa;PWD=x;Encrypt=no;APP=Velocast "
         "2.10"},
        {"Provider=SQLOLEDB.1;Data Source=srv\\KORVANA;Use Encryption for Data=True;Trust Server Certificate=True",
         "DRIVER={ODBC Driver 18 for SQL "
         "Server};SERVER=srv\\KORVANA;Encrypt=yes;TrustServerCertificate=yes;APP=Velocast 2.10"},
        {"Provider=MSOLEDBSQL;Data Source=db;Encrypt=Mandatory",
         "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db;Encrypt=yes;TrustServerCertificate=no;APP=Velocast 2.10"},
    };
    forceSqlServerOdbcDriver(QStringLiteral("ODBC Driver 18 for SQL Server"));
    for (const Case& c : cases)
        EXPECT_EQ(
            parseDataLink(QStringLiteral("[oledb]\n") + QLatin1String(c.init), QStringLiteral("x.udl")).databaseName,
            QLatin1String(c.databaseName))
            << c.init;
    // Forcing FreeTDS by name gives what the Linux default gives.
    forceSqlServerOdbcDriver(QStringLiteral("FreeTDS"));
    EXPECT_EQ(
        parseDataLink(QStringLiteral("[oledb]\nProvider=SQLOLEDB.1;Data Source=db,1444"), QStringLiteral("x.udl"))
            .databaseName,
        QStringLiteral("DRIVER=FreeTDS;SERVER=db;PORT=1444;TDS_Version=7.4;ClientCharset=UTF-8;APP=Velocast 2.10"));
    forceSqlServerOdbcDriver(QString());
}

TEST(DataLink, ChoosesTheBestSqlServerDriverInstalled) {
    struct Case {
        QStringList installed;
        const char* chosen;
    };
    const Case cases[] = {
        {{"SQL Server", "ODBC Driver 17 for SQL Server", "ODBC Driver 18 for SQL Server", "SQLite3"},
         "ODBC Driver 18 for SQL Server"},
        {{"SQL Server", "odbc driver 17 for sql server"}, "odbc driver 17 for sql server"},
        {{"Microsoft Access Driver (*.mdb)", "SQL Server"}, "SQL Server"},
        {{"SQL Server Native Client 11.0", "FreeTDS"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bestSqlServerDriver(c.installed), QLatin1String(c.chosen)) << c.installed.join(u',').toStdString();
}

// Two spellings of one database must meet under one identity, or two copies could drain it.
TEST(DataLink, TheIdentityNamesTheDatabaseWhateverTheSpelling) {
    auto identity = [](const char* init) {
        return parseDataLink(QStringLiteral("[oledb]\n") + QLatin1String(init), QStringLiteral("/srv/x.udl")).identity;
    };
    EXPECT_EQ(identity("Provider=SQLOLEDB.1;Data Source=SRV;Initial Catalog=Korvana"),
              identity("Provider=MSOLEDBSQL;Data Source=srv,1433;Initial Catalog=KORVANA;Password=x"));
    EXPECT_NE(identity("Provider=SQLOLEDB.1;Data Source=srv;Initial Catalog=A"),
              identity("Provider=SQLOLEDB.1;Data Source=srv;Initial Catalog=B"));
    EXPECT_NE(identity("Provider=SQLOLEDB.1;Data Source=srv\\ONE;Initial Catalog=A"),
              identity("Provider=SQLOLEDB.1;Data Source=srv\\TWO;Initial Catalog=A"));
    EXPECT_EQ(identity("Provider=SQLite;Data Source=club.sqlite"),
              identity("Provider=SQLite;Data Source=/srv/./club.sqlite"));
    EXPECT_FALSE(
        identity("Provider=MSDASQL;Extended Properties=\"DSN=club;PWD=secret\"").contains(QLatin1String("secret")));
}

TEST(DataLink, ARelativeSqliteFileIsTakenFromTheDataLinkFolder) {
    const DataLink link = parseDataLink(QStringLiteral("[oledb]\nProvider=SQLite;Data Source=club.sqlite"),
                                        QStringLiteral("/srv/demo/club.udl"));
    EXPECT_EQ(link.databaseName, QStringLiteral("/srv/demo/club.sqlite"));
}

TEST(DataLink, BadFilesAreReportedWithThePathAndWhatIsWrong) {
    QTemporaryDir dir;
    struct Case {
        QByteArray bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"Provider=SQLite;Data Source=x", "does not start with the line [oledb]"},
        {"[oledb]\r\n; comment only\r\n", "no connection line"},
        {"[oledb]\r\nData Source=x", "no \"Provider\""},
        {"[oledb]\r\nProvider=Jet.OLEDB.4.0;Data Source=x.mdb", "unknown provider \"Jet.OLEDB.4.0\""},
        {"[oledb]\r\nProvider=SQLOLEDB.1;Initial Catalog=K", "no \"Data Source\""},
        {"[oledb]\r\nProvider=SQLOLEDB.1;Data Source=h,port", "is not a port number"},
        {"[oledb]\r\nProvider=SQLOLEDB.1;Password=\"abc;Data Source=h", "has no closing quote"},
    };
    for (const Case& c : cases) {
        const QString path = writeBytes(dir, c.bytes);
        try {
            readDataLink(path);
            ADD_FAILURE() << "accepted: " << c.bytes.constData();
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(path))) << e.what();
            EXPECT_TRUE(e.message().contains(QLatin1String(c.expected))) << e.what();
        }
    }
    try {
        readDataLink(dir.filePath(QStringLiteral("missing.udl")));
        ADD_FAILURE() << "a missing file was accepted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("does not exist"))) << e.what();
    }
}
