#pragma once
// Readable failure messages for Qt text types in the mail tests.
#include <QByteArray>
#include <QString>
#include <ostream>

inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toPercentEncoding(" !#$&'()*+,/:;=?@[]<>{}|^~`\\\"").toStdString() << '"';
}
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
