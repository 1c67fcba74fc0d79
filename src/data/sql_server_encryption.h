#pragma once
// What a data-link file asks of the SQL Server connection's encryption, and how FreeTDS is
// made to do it. The OLE DB providers spell it several ways ("Use Encryption for Data=True",
// "Encrypt=Mandatory", "Trust Server Certificate=False", "TrustServerCertificate=no"): one
// table reads them all. An encrypted connection whose certificate nobody checks lets anyone
// on the way read the database password, so encryption checks the server's certificate
// (against the system's authorities, or [database] ca_file) and its name unless the file
// says Trust Server Certificate=True.
#include <QMap>
#include <QString>

namespace velocast {

struct SqlServerEncryption {
    bool encrypt = false;  // the login and everything after it encrypted; clear text is refused
    bool verify = true;    // with encrypt: the server's certificate and name are checked
};

// Reads the encryption keys of a data-link file's properties (keys lower-cased). A value the
// table does not know is an error (thrown as DbError) naming the key and the values it takes:
// guessing could leave the password in clear.
SqlServerEncryption sqlServerEncryption(const QMap<QString, QString>& properties, const QString& path);

// velocast.conf's [database] ca_file: the authorities (PEM) a SQL Server's certificate is
// checked against; empty: the system's. Set once before any data-link file is read.
void setSqlServerCaFile(const QString& path);
QString sqlServerCaFile();

// FreeTDS takes certificate checking only from a freetds.conf server section, not from the
// connection string: the section for this server (written into a file of this run's own, which
// FREETDSCONF then names), and its name for the connection string's Servername. Throws DbError
// when a value cannot be written into such a file.
QString freeTdsVerifyingSection(const QString& host, const QString& port, const QString& instance,
                                const QString& dataLinkPath);

// What to add to a failed open of a connection that checks the certificate: FreeTDS reports a
// refused certificate only as a failed connection.
QString certificateFailureHint(const QString& driverText, const QString& host);

}  // namespace velocast
