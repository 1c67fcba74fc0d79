#pragma once
// The content type of an attachment, from the extension of its file name.
#include <QString>

namespace velocast::mail {

// The last component of a stored path; both "/" and "\" separate components, since the
// paths were written on Windows machines as often as not.
QString attachmentFileName(const QString& path);

// The content type for `fileName`, letter case of the extension ignored: the built-in table
// first, then the system's registry of types (`mimeTypesPath`, in the format of
// /etc/mime.types), then "application/octet-stream".
QString contentTypeForFile(const QString& fileName, const QString& mimeTypesPath = QStringLiteral("/etc/mime.types"));

}  // namespace velocast::mail
