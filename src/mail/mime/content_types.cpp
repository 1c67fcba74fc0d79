#include "mail/mime/content_types.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace velocast::mail {
namespace {

// Checked before the system's registry, so these answers are the same on every machine
// (".png" keeps the historical "image/x-png" that mail readers have always accepted).
const QHash<QString, QString>& builtInTypes() {
    static const QHash<QString, QString> types = {
        {"bmp", "image/bmp"},
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"jpe", "image/jpeg"},
        {"png", "image/x-png"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"ico", "image/x-icon"},
        {"txt", "text/plain"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"rtf", "application/rtf"},
        {"pdf", "application/pdf"},
        {"zip", "application/zip"},
        {"doc", "application/msword"},
        {"xls", "application/vnd.ms-excel"},
        {"ppt", "application/vnd.ms-powerpoint"},
    };
    return types;
}

// Looks the extension up in a mime.types file: "type ext ext ..." per line, "#" comments.
QString lookUpRegistry(const QString& extension, const QString& mimeTypesPath) {
    QFile file(mimeTypesPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        line.truncate(line.indexOf(u'#') < 0 ? line.size() : line.indexOf(u'#'));
        const QStringList fields = line.split(blanks, Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < fields.size(); ++i)
            if (fields[i].compare(extension, Qt::CaseInsensitive) == 0) return fields[0];
    }
    return {};
}

}  // namespace

QString attachmentFileName(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

QString contentTypeForFile(const QString& fileName, const QString& mimeTypesPath) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
    if (!extension.isEmpty()) {
        if (const auto it = builtInTypes().constFind(extension); it != builtInTypes().constEnd()) return *it;
        if (QString registered = lookUpRegistry(extension, mimeTypesPath); !registered.isEmpty()) return registered;
    }
    return QStringLiteral("application/octet-stream");
}

}  // namespace velocast::mail
