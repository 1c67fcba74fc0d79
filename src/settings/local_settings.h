#pragma once
// The machine's own settings, velocast.conf: what must not live in the club's database,
// where anyone who can write a settings row could change it (TLS trust, attachment folders,
// OAuth, pacing, retention, time-outs). INI text, read once at start; a missing file means
// the defaults. Every key the program knows is declared in settings_keys.cpp with the values
// it allows, so a misspelt key or a bad value is refused before anything runs.
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace velocast {

class LocalSettings {
public:
    // The defaults: what a missing file gives.
    LocalSettings() = default;

    // Reads and checks `path`. A missing file gives the defaults. On a file that cannot be
    // read, an unknown section or key, or a value its key does not allow, returns nullopt
    // and sets `error` to one sentence naming the file, the key and what it allows.
    static std::optional<LocalSettings> load(const QString& path, QString* error);

    // Where the file is looked for without --config: beside the data-link file.
    static QString defaultPath(const QString& dataLinkPath);

    QString path() const { return path_; }
    bool fileExists() const { return exists_; }

    // A key's value as written (surrounding blanks trimmed), or its declared default.
    QString text(const QString& section, const QString& key) const;
    // A whole number (size suffixes K, M and G are read for size keys).
    qint64 number(const QString& section, const QString& key) const;
    // A yes/no key.
    bool yes(const QString& section, const QString& key) const;
    // A list key: the items separated by commas, blanks trimmed, empty items dropped.
    QStringList list(const QString& section, const QString& key) const;
    // A path key (or each item of a path list) taken from the file's folder when relative.
    QString filePath(const QString& section, const QString& key) const;
    QStringList filePaths(const QString& section, const QString& key) const;
    // Whether the file sets the key at all (a default may differ by context, e.g. by host).
    bool isSet(const QString& section, const QString& key) const;

    // For tests and for callers that make settings in code: sets a value without the file.
    void set(const QString& section, const QString& key, const QString& value);

private:
    QString resolve(const QString& path) const;

    QString path_;
    bool exists_ = false;
    QMap<QString, QString> values_;  // "section/key" -> value as written
};

}  // namespace velocast
