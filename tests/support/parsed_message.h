#pragma once
// A composed e-mail read back by Python's standard email package, as a mail reader sees it
// (tests/mail/mime/parse_message.py says what the JSON holds). POSIX systems only.
#include <QByteArray>
#include <QJsonObject>
#include <QList>

namespace velocast::testing {

// `lines`: what goes between DATA and the final ".", without line ends.
QJsonObject parsedByPython(const QList<QByteArray>& lines);

}  // namespace velocast::testing
