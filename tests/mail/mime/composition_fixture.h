#pragma once
// The fixed date, boundary and row the composition tests build their messages from.
#include "mail/mime/message_composer.h"
#include "mail/mime/windows1252.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace velocast::mail::testing {

inline const QDateTime kDate(QDate(2026, 3, 5), QTime(9, 7, 3), QTimeZone(-3 * 3600));
inline const QByteArray kBoundary = "aB3dE5gH7jK9mN1pQ2sT4vW6yZ8=_cX0fR";

inline CompositionOptions fixedOptions(const QByteArray& charset = "UTF-8") {
    return {kDate, charset, kBoundary, {}, "20260305120703.5f3a9c", {}};
}

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

// One outbox row from the club's account to one member.
inline MessageFields row(const QString& subject, const QString& body, const QString& attachmentPath = {},
                         const QString& senderName = {}) {
    return {"academia@clube.com.br", senderName, "socio@exemplo.com.br", subject, body, attachmentPath};
}

// What the session sends between DATA and ".", before dot-stuffing.
inline QByteArray wire(const ComposedMessage& message) {
    QByteArray out;
    for (const QByteArray& line : message.lines) out += line + "\r\n";
    return out;
}

// Whether this system converts text to `charset`. Windows has ISO-2022-JP (code page 50220);
// Wine, where the Windows build's tests run, has not: those cases run where it exists.
inline bool systemConverts(const char* charset) {
    try {
        toCharset(QString::fromUtf8("日"), charset);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace velocast::mail::testing
