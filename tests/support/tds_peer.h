#pragma once
// tests/support/tds_peer.py as a stand-in SQL Server on loopback: the program reaches it
// through its real connection code (a data-link file, Qt's ODBC driver, FreeTDS), and the test
// reads back every request as the server received it.
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

namespace velocast::testing {

// The answer the peer gives to statements that start with `match` (or are exactly it).
class TdsRule {
public:
    static TdsRule startingWith(const QString& match) { return TdsRule(match, false); }
    static TdsRule exactly(const QString& match) { return TdsRule(match, true); }
    // "SELECT * FROM table" answered with every column the host schema gives the table, typed
    // as on a club's server, and these rows (values by column; missing ones NULL).
    static TdsRule table(const QString& table, const QList<QVariantMap>& rows = {});
    // The same columns and rows for statements that start with `match`.
    static TdsRule rowsOf(const QString& table, const QString& match, const QList<QVariantMap>& rows = {});

    // A result set; column types: int, smallint, bigint, bit, nvarchar, varchar, text, ntext,
    // datetime ("YYYY-MM-DD HH:MM:SS").
    TdsRule& column(const QString& name, const QString& type, int size = 0);
    TdsRule& row(const QVariantList& values);
    TdsRule& rowCount(int count);
    TdsRule& error(const QString& message, int number = 50000);
    // `count` rows made from `values`, "{i}" in a value standing for the row's number (1..count).
    TdsRule& generated(int count, const QVariantList& values);
    // One row per integer parameter of the call, holding its value; with `values`, that row,
    // "{i}" in a value standing for the parameter's value.
    TdsRule& echoingIntegers(const QVariantList& values = {});
    // No answer at all until the client cancels: a statement blocked on the server.
    TdsRule& hanging();
    // Answers only this many statements, then leaves them to the next rule.
    TdsRule& times(int count);
    QJsonObject json() const { return json_; }

private:
    TdsRule(const QString& match, bool exact);
    QJsonObject json_;
};

class TdsPeer {
public:
    // `delayMs` holds every answer back, as a server across a network would.
    // With `tls` (a PEM certificate and its key), a client that asks for encryption gets it.
    struct Tls {
        QString certificate;
        QString key;
    };
    explicit TdsPeer(const QList<TdsRule>& rules = {}, int delayMs = 0, const Tls& tls = {});
    ~TdsPeer();
    TdsPeer(const TdsPeer&) = delete;
    TdsPeer& operator=(const TdsPeer&) = delete;

    quint16 port() const { return port_; }
    // A data-link file naming the peer as a SQL Server (provider SQLOLEDB.1).
    QString dataLinkPath() const { return udlPath_; }
    QString folder() const { return dir_.path(); }

    // Stops the server, as a crash of the machine would (connections cut, nothing answers);
    // start() brings it back on the same port with the same script.
    void stop();
    void start();

    // Every request received so far, in order, as the peer logged it.
    QList<QJsonObject> requests() const;
    // Only the requests that carry statements or transactions (no pre-login or login).
    QList<QJsonObject> statements() const;
    // One line per statement request: "batch: SQL", "rpc sp_prepexec: SQL", "tm: begin".
    QStringList summary() const;
    // The first request whose statement text starts with `sqlStart`; empty when none.
    QJsonObject firstStatement(const QString& sqlStart) const;

private:
    QTemporaryDir dir_;
    QString logPath_;
    QString udlPath_;
    QString scriptPath_;
    int delayMs_ = 0;
    Tls tls_;
    QProcess process_;
    quint16 port_ = 0;
};

}  // namespace velocast::testing
