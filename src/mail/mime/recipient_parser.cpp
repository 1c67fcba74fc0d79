#include "mail/mime/recipient_parser.h"

namespace velocast::mail {
namespace {

// The address of one piece: what stands in angle brackets if there are any (outside
// quotes), else the piece without its comments.
QString addressOf(const QString& piece) {
    QString outside;  // the piece without quoted text and comments
    QString angle;
    bool quoted = false, inAngle = false, sawAngle = false;
    int depth = 0;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const QChar c = piece[i];
        if (quoted) {
            if (c == u'\\') ++i;
            else if (c == u'"') quoted = false;
            continue;
        }
        if (depth > 0) {
            if (c == u'(') ++depth;
            else if (c == u')') --depth;
            continue;
        }
        if (c == u'"' && !inAngle) {
            quoted = true;
        } else if (c == u'(' && !inAngle) {
            depth = 1;
        } else if (c == u'<') {
            inAngle = sawAngle = true;
            angle.clear();
        } else if (c == u'>' && inAngle) {
            inAngle = false;
        } else if (inAngle) {
            angle += c;
        } else {
            outside += c;
        }
    }
    return (sawAngle ? angle : outside).trimmed();
}

}  // namespace

QStringList parseRecipients(const QString& text) {
    QStringList pieces;
    QString current;
    bool quoted = false;
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < text.size()) current += text[i++];
            else if (c == u'"') quoted = false;
        } else if (depth > 0) {
            depth += (c == u'(') - (c == u')');
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'(') {
            depth = 1;
        } else if (c == u',' || c == u';') {
            pieces.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    pieces.append(current);

    QStringList addresses;
    for (const QString& piece : pieces)
        if (const QString address = addressOf(piece.trimmed()); !address.isEmpty()) addresses.append(address);
    return addresses;
}

}  // namespace velocast::mail
