#include "mail/mime/attachment_policy.h"

#include "mail/mime/regular_file.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace velocast::mail {
namespace {

// `file` lies inside `folder` (both already resolved).
bool isInside(const QString& file, const QString& folder) {
    if (folder == QLatin1String("/")) return true;
    return file.startsWith(folder) && file.size() > folder.size() && file.at(folder.size()) == u'/';
}

QString settingHint(const AttachmentPolicy& policy, const char* key) {
    const QString file = policy.settingsFile.isEmpty() ? QStringLiteral("velocast.conf") : policy.settingsFile;
    return QStringLiteral("\"%1\" in the [attachments] section of %2").arg(QLatin1String(key), file);
}

}  // namespace

QByteArray imageTypeOf(const QByteArray& data) {
    if (data.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8))) return "PNG";
    if (data.startsWith("\xff\xd8\xff")) return "JPEG";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a")) return "GIF";
    if (data.startsWith("BM") && data.size() >= 14) return "BMP";
    if (data.startsWith("RIFF") && data.mid(8, 4) == "WEBP") return "WebP";
    return {};
}

std::optional<QByteArray> readAllowedAttachment(const QString& path, const AttachmentPolicy& policy, QString* why) {
    const std::optional<QString> resolved = resolvedPath(path, why);
    if (!resolved) return std::nullopt;

    QStringList folders;
    for (const QString& folder : policy.folders) {
        QString ignored;
        // A folder that does not exist holds nothing; it is no reason to refuse the others.
        if (const std::optional<QString> real = resolvedPath(folder, &ignored)) folders << *real;
    }
    if (folders.isEmpty()) {
        *why = QStringLiteral("No attachment folder exists; name the folder of the campaign images in %1.")
                   .arg(settingHint(policy, "folders"));
        return std::nullopt;
    }
    if (std::none_of(folders.cbegin(), folders.cend(), [&](const QString& f) { return isInside(*resolved, f); })) {
        const bool linked = *resolved != QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        *why = QStringLiteral(
                   "%1outside the attachment folders (%2); keep campaign images in one of them, or add "
                   "the image's folder to %3.")
                   .arg(linked ? QStringLiteral("It leads to \"%1\", ").arg(*resolved) : QStringLiteral("It is "),
                        folders.join(QStringLiteral(", ")), settingHint(policy, "folders"));
        return std::nullopt;
    }

    // The resolved path has no link left: one that appears there now was put in meanwhile.
    QString reason;
    std::optional<QByteArray> data = readRegularFile(*resolved, &reason, {policy.maxSize, false});
    if (!data) {
        *why = reason;
        if (reason.startsWith(QLatin1String("Larger than")))
            *why += QStringLiteral(", the most %1 allows.").arg(settingHint(policy, "max_size"));
        return std::nullopt;
    }
    if (imageTypeOf(*data).isEmpty()) {
        *why = QStringLiteral(
            "Not a PNG, JPEG, GIF, BMP or WebP image by its content; only images go out as "
            "attachments.");
        return std::nullopt;
    }
    return data;
}

}  // namespace velocast::mail
