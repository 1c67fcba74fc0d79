#pragma once
// What velocast.conf says, read once at start into plain values and handed to every part by
// const reference: nothing else reads the file or its keys. A new setting is one row in
// settings_keys.cpp and one field here, filled in settings.cpp.
#include <QString>
#include <QStringList>
#include <optional>

#include "settings/local_settings.h"

namespace velocast {

struct Settings {
    // The defaults: what a missing file gives.
    Settings() : Settings(LocalSettings()) {}
    // The values of a file already checked by LocalSettings::load.
    explicit Settings(const LocalSettings& file);

    // Reads and checks `path` (see LocalSettings::load); nullopt with `error` set when the file
    // says something the program does not understand.
    static std::optional<Settings> load(const QString& path, QString* error);

    // The settings file as given (absolute), empty when the settings were made in code; for
    // messages that say which file to change.
    QString file;
    // `file`, or the word "velocast.conf" when there is none, for messages.
    QString fileForMessages() const { return file.isEmpty() ? QStringLiteral("velocast.conf") : file; }

    // [tls]: how the SMTP server is trusted.
    struct Tls {
        QString verify;  // "system", "pin" or "off"
        QStringList pins;
        bool legacy = false;
        QString caFile;
    } tls;

    // [attachments]: which files may go out as a campaign's attachment.
    struct Attachments {
        bool foldersSet = false;  // without folders, the defaults depend on the run
        QStringList folders;
        qint64 maxSize = 0;
    } attachments;

    // [sending]: pacing and connection reuse; a limit the file does not set is left to the
    // host's defaults.
    struct Sending {
        std::optional<int> perMinute, perHour, perDay;
        int messagesPerConnection = 1;
    } sending;

    // [state] database: the local state database's file; empty: one per club in the account's
    // state folder.
    QString stateDatabase;
    // [history] retention_days.
    int historyRetentionDays = 0;

    // [oauth]: signing the club's mailbox in with OAuth 2.0; no provider: with its password.
    struct OAuth {
        QString provider, tenant, clientId, clientSecret, clientSecretFile, grant, scope, tokenEndpoint, deviceEndpoint,
            caFile;
    } oauth;

    // [database]: the club's SQL Server.
    struct Database {
        int queryTimeout = 0;  // seconds
        int lockTimeout = 0;   // seconds
        QString odbcDriver;    // empty: the one the data link or the system names
        QString caFile;        // the authorities its certificate is checked against; empty: the system's
    } database;

    // [mailbox]: the club's mailbox, read for delivery reports and opt-out requests; no host:
    // not read.
    struct Mailbox {
        QString host;
        int port = 993;
        QString tls;  // "implicit" or "starttls"
        QString user, password, passwordFile;
        QStringList keysSet;  // the keys the file sets: a default is not a choice
        QString folder, processedFolder;
        int checkMinutes = 15;
        int softBounces = 3;
        int softBounceDays = 30;
    } mailbox;

    // [unsubscribe]: the opt-out header and footer of the relationship campaigns.
    struct Unsubscribe {
        bool enabled = true;
        QStringList campaigns;
        QString footer;
    } unsubscribe;

    // [report]: the club's daily report; no address: none is sent.
    struct Report {
        QStringList to;
        int hour = 20;
    } report;
};

}  // namespace velocast
