#pragma once
// Which files may leave the machine as a campaign's attachment. The path comes from the club's
// database, which more people can write than can read this machine's files: only images kept
// in the folders this machine's own settings name go out, never a settings file, a key or
// anything under /proc that a row happens to point at.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace velocast::mail {

struct AttachmentPolicy {
    // The folders attachments are taken from; a file must lie inside one of them once every
    // symbolic link of its path is resolved.
    QStringList folders;
    qint64 maxSize = 10 * 1024 * 1024;
    // Where the folders and the size are set, named in a refusal so the club knows what to
    // change (the local settings file).
    QString settingsFile;
};

// The content of the attachment at `path` when the policy allows it: a regular file inside
// one of the folders, of at most maxSize bytes, whose content is a PNG, JPEG, GIF, BMP or
// WebP image. Otherwise nullopt with the reason in `why`, one sentence that says what to
// change.
std::optional<QByteArray> readAllowedAttachment(const QString& path, const AttachmentPolicy& policy, QString* why);

// "PNG", "JPEG", "GIF", "BMP" or "WebP" when the data starts like that image type; empty
// otherwise.
QByteArray imageTypeOf(const QByteArray& data);

}  // namespace velocast::mail
