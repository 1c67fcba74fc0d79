#include "settings/local_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <limits>

#include "settings/settings_keys.h"

namespace velocast {
namespace {

QString slot(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

std::optional<qint64> parseSize(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d+)\\s*([kKmMgG]?)[bB]?$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    qint64 value = m.captured(1).toLongLong(&ok);
    if (!ok) return std::nullopt;
    const QString unit = m.captured(2).toLower();
    const int shift = unit == QLatin1String("k")   ? 10
                      : unit == QLatin1String("m") ? 20
                      : unit == QLatin1String("g") ? 30
                                                   : 0;
    if (value > (std::numeric_limits<qint64>::max() >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<qint64> parseNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return value;
}

std::optional<bool> parseYesNo(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1")) return true;
    if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("0")) return false;
    return std::nullopt;
}

// What a key allows, in words for an error line.
QString allowedText(const SettingKey& k) {
    switch (k.kind) {
    case SettingKey::Kind::Choice:
        return QStringLiteral("one of %1")
            .arg(QString::fromLatin1(k.choices).replace(QLatin1Char('|'), QLatin1String(", ")));
    case SettingKey::Kind::YesNo: return QStringLiteral("yes or no");
    case SettingKey::Kind::Number:
    case SettingKey::Kind::Size: {
        const QString unit =
            k.kind == SettingKey::Kind::Size ? QStringLiteral(" (bytes, or with K, M or G)") : QString();
        if (k.max > 0) return QStringLiteral("a whole number from %1 to %2%3").arg(k.min).arg(k.max).arg(unit);
        return QStringLiteral("a whole number of at least %1%2").arg(k.min).arg(unit);
    }
    default: return QStringLiteral("text");
    }
}

// Checks one value against its key; an empty string when it is allowed.
QString checkValue(const SettingKey& k, const QString& value) {
    const QString v = value.trimmed();
    bool good = true;
    switch (k.kind) {
    case SettingKey::Kind::Choice:
        good = QString::fromLatin1(k.choices).split(QLatin1Char('|')).contains(v.toLower());
        break;
    case SettingKey::Kind::YesNo: good = parseYesNo(v).has_value(); break;
    case SettingKey::Kind::Number:
    case SettingKey::Kind::Size: {
        const auto n = k.kind == SettingKey::Kind::Size ? parseSize(v) : parseNumber(v);
        good = n && *n >= k.min && (k.max == 0 || *n <= k.max);
        break;
    }
    default: break;
    }
    return good ? QString() : allowedText(k);
}

QString knownKeysOf(const QString& section) {
    QStringList keys;
    for (const SettingKey& k : settingKeys())
        if (section == QLatin1String(k.section)) keys << QString::fromLatin1(k.key);
    return keys.join(QLatin1String(", "));
}

QString knownSections() {
    QStringList sections;
    for (const SettingKey& k : settingKeys())
        if (!sections.contains(QLatin1String(k.section))) sections << QString::fromLatin1(k.section);
    return sections.join(QLatin1String(", "));
}

}  // namespace

QString LocalSettings::defaultPath(const QString& dataLinkPath) {
    return QFileInfo(dataLinkPath).absoluteDir().filePath(QStringLiteral("velocast.conf"));
}

std::optional<LocalSettings> LocalSettings::load(const QString& path, QString* error) {
    LocalSettings settings;
    settings.path_ = QFileInfo(path).absoluteFilePath();
    const QString shown = QDir::toNativeSeparators(settings.path_);
    const QFileInfo info(path);
    if (!info.exists()) return settings;
    settings.exists_ = true;
    if (!info.isFile()) {
        *error = QStringLiteral("settings file %1 is not a regular file; name a file with --config").arg(shown);
        return std::nullopt;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("settings file %1 cannot be read: %2").arg(shown, probe.errorString());
        return std::nullopt;
    }
    probe.close();
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        *error =
            QStringLiteral("settings file %1 is not an INI file ([section] lines and key = value lines)").arg(shown);
        return std::nullopt;
    }
    for (const QString& key : ini.childKeys()) {
        *error = QStringLiteral("settings file %1: \"%2\" stands outside any section; put it under one of [%3]")
                     .arg(shown, key, knownSections().replace(QLatin1String(", "), QLatin1String("], [")));
        return std::nullopt;
    }
    for (const QString& section : ini.childGroups()) {
        ini.beginGroup(section);
        const QString known = knownKeysOf(section);
        if (known.isEmpty()) {
            *error = QStringLiteral("settings file %1: unknown section [%2]; the sections are [%3]")
                         .arg(shown, section, knownSections().replace(QLatin1String(", "), QLatin1String("], [")));
            return std::nullopt;
        }
        for (const QString& key : ini.childKeys()) {
            const SettingKey* k = findSettingKey(section, key);
            if (!k) {
                *error = QStringLiteral("settings file %1: unknown key \"%2\" in [%3]; that section knows %4")
                             .arg(shown, key, section, known);
                return std::nullopt;
            }
            // QSettings splits a value at its commas; the list keys want the text as written.
            const QVariant raw = ini.value(key);
            const QString value =
                raw.typeId() == QMetaType::QStringList ? raw.toStringList().join(QLatin1String(", ")) : raw.toString();
            if (const QString allowed = checkValue(*k, value); !allowed.isEmpty()) {
                *error = QStringLiteral("settings file %1: [%2] %3 = %4 is not allowed; it takes %5")
                             .arg(shown, section, key, value.trimmed(), allowed);
                return std::nullopt;
            }
            settings.values_.insert(slot(section, key), value.trimmed());
        }
        ini.endGroup();
    }
    return settings;
}

QString LocalSettings::text(const QString& section, const QString& key) const {
    const auto it = values_.constFind(slot(section, key));
    if (it != values_.constEnd()) return *it;
    const SettingKey* k = findSettingKey(section, key);
    Q_ASSERT_X(k, "LocalSettings", "a key missing from settings_keys.cpp");
    return k ? QString::fromLatin1(k->defaultValue) : QString();
}

qint64 LocalSettings::number(const QString& section, const QString& key) const {
    const SettingKey* k = findSettingKey(section, key);
    const QString value = text(section, key);
    const auto n = k && k->kind == SettingKey::Kind::Size ? parseSize(value) : parseNumber(value);
    return n.value_or(0);
}

bool LocalSettings::yes(const QString& section, const QString& key) const {
    return parseYesNo(text(section, key)).value_or(false);
}

QStringList LocalSettings::list(const QString& section, const QString& key) const {
    QStringList items;
    for (const QString& item : text(section, key).split(QLatin1Char(',')))
        if (!item.trimmed().isEmpty()) items << item.trimmed();
    return items;
}

QString LocalSettings::resolve(const QString& path) const {
    if (path.isEmpty() || QDir::isAbsolutePath(path) || path_.isEmpty()) return path;
    return QFileInfo(path_).absoluteDir().filePath(path);
}

QString LocalSettings::filePath(const QString& section, const QString& key) const {
    return resolve(text(section, key));
}

QStringList LocalSettings::filePaths(const QString& section, const QString& key) const {
    QStringList paths;
    for (const QString& item : list(section, key)) paths << resolve(item);
    return paths;
}

bool LocalSettings::isSet(const QString& section, const QString& key) const {
    return values_.contains(slot(section, key));
}

void LocalSettings::set(const QString& section, const QString& key, const QString& value) {
    values_.insert(slot(section, key), value);
}

}  // namespace velocast
