#include "mail/mime/message_composer.h"

#include "calendar/clock.h"
#include "mail/mime/body_wrap.h"
#include "mail/mime/content_types.h"
#include "mail/mime/encoded_words.h"
#include "mail/mime/header_folding.h"
#include "mail/mime/recipient_parser.h"
#include "mail/mime/regular_file.h"
#include "mail/mime/transfer_encodings.h"
#include "mail/mime/windows1252.h"

#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>

namespace velocast::mail {
namespace {

enum class Shape { Plain, Multipart, SinglePart };

// Header values are 7-bit: in an address every other character, and every control
// character (which could end the line or the SMTP command), is sent as "?".
QByteArray asciiAddress(const QString& address) {
    QByteArray out;
    for (const uint c : address.toUcs4()) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

// A header value made elsewhere: a character that could end the line or leave 7 bits is "?".
QByteArray sevenBitValue(const QByteArray& value) {
    QByteArray out = value;
    for (char& c : out)
        if (c < 0x20 || c > 0x7E) c = '?';
    return out;
}

QByteArray formatSenderUncached(const QString& address, const QString& name, const QByteArray& charset) {
    QString shown = name.isEmpty() ? address : name;
    shown.replace(u'\r', u' ').replace(u'\n', u' ');
    const bool printableAscii =
        std::all_of(shown.cbegin(), shown.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
    QByteArray formatted;
    if (printableAscii) {
        QByteArray quoted = shown.toLatin1();
        quoted.replace("\\", "\\\\").replace("\"", "\\\"");
        formatted = '"' + quoted + '"';
    } else {
        formatted = encodeHeaderText(shown, charset, HeaderTextKind::DisplayName);
    }
    return formatted + " <" + asciiAddress(address) + '>';
}

// Every e-mail of a drain has the same sender: its header value is worked out once.
QByteArray formatSender(const QString& address, const QString& name, const QByteArray& charset) {
    struct Last {
        QString address, name;
        QByteArray charset, formatted;
        bool valid = false;
    };
    thread_local Last last;
    if (!last.valid || last.address != address || last.name != name || last.charset != charset) {
        last.formatted = formatSenderUncached(address, name, charset);
        last.address = address;
        last.name = name;
        last.charset = charset;
        last.valid = true;
    }
    return last.formatted;
}

// A file name inside a quoted parameter; a backslash or double quote left plain would end
// the quoted text early.
QByteArray quotedFileName(const QString& fileName, const QByteArray& charset) {
    QByteArray encoded = encodeHeaderText(fileName, charset);
    encoded.replace("\\", "\\\\").replace("\"", "\\\"");
    return '"' + encoded + '"';
}

class LineWriter {
public:
    void header(const char* name, const QByteArray& value) {
        if (!value.isEmpty()) lines_ += foldHeader(QByteArray(name) + ": " + value);
    }
    void line(const QByteArray& text = {}) { lines_.append(text); }
    void lines(const QList<QByteArray>& texts) { lines_ += texts; }
    QList<QByteArray> take() { return std::move(lines_); }

private:
    QList<QByteArray> lines_;
};

QByteArray readAttachment(const QString& path, const std::optional<AttachmentPolicy>& policy) {
    QString why;
    std::optional<QByteArray> data = policy ? readAllowedAttachment(path, *policy, &why) : readRegularFile(path, &why);
    if (!data) throw CompositionError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, why));
    return *data;
}

// The attachment part's own header lines, its empty line, its base64 lines and a final
// empty line.
void writeAttachmentPart(LineWriter& out, const QString& fileName, const QByteArray& contentType,
                         const QByteArray& data, const QByteArray& charset) {
    const QByteArray name = quotedFileName(fileName, charset);
    out.lines(foldHeader("Content-Type: " + contentType + ';'));
    out.lines(foldHeader("\tname=" + name));
    out.header("Content-Transfer-Encoding", "base64");
    out.header("Content-Disposition", "attachment;");
    out.lines(foldHeader("\tfilename=" + name));
    out.line();
    out.lines(base64Lines(data));
    out.line();
}

// The text as the memo holds it, in its code page, which every message declares: a reader
// that follows MIME shows the accents, not the replacement marks of US-ASCII.
constexpr char kBodyCharset[] = "windows-1252";

// The body in quoted-printable: the box's display lines of a paragraph are joined by soft
// breaks, so the lines stay short on the wire while a reader gets each paragraph back exactly
// as the club wrote it; every paragraph ends with a hard break. Characters outside the code
// page become "?".
QList<QByteArray> quotedPrintableBody(const QString& body) {
    QList<QByteArray> out;
    for (const QStringList& paragraph : wrapBodyParagraphs(body)) {
        for (qsizetype i = 0; i < paragraph.size(); ++i) {
            QList<QByteArray> encoded = quotedPrintableLines({toWindows1252(paragraph[i])});
            if (i + 1 < paragraph.size()) encoded.last() += '=';
            out += encoded;
        }
    }
    return out;
}

void writeTextPartHeaders(LineWriter& out) {
    out.header("Content-Type", QByteArray("text/plain; charset=") + kBodyCharset);
    out.header("Content-Transfer-Encoding", "quoted-printable");
}

bool hasText(const QString& body) {
    return std::any_of(body.cbegin(), body.cend(),
                       [](QChar c) { return c != u' ' && c != u'\t' && c != u'\r' && c != u'\n'; });
}

}  // namespace

CompositionError::CompositionError(const QString& text) : std::runtime_error(text.toStdString()) {}

QByteArray formatDateHeader(const QDateTime& date) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = date.date();
    const QTime t = date.time();
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[d.dayOfWeek() - 1],
                                d.day(), kMonths[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(),
                                offsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return QByteArray(text, std::clamp(n, 0, static_cast<int>(sizeof text) - 1));
}

QByteArray makeBoundary() {
    static constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    auto* random = QRandomGenerator::global();
    QByteArray boundary(34, '0');
    for (char& c : boundary) c = kAlphabet[random->bounded(62)];
    const int p = random->bounded(1, 34);  // 1-based position 1..33
    boundary[p - 1] = '=';
    boundary[p] = '_';
    return boundary;
}

namespace {

// A domain as it may stand in a Message-ID: letters, digits, "-" and inner dots only.
bool plainDomain(const QByteArray& domain) {
    if (domain.isEmpty() || domain.startsWith('.') || domain.endsWith('.') || domain.contains("..")) return false;
    return std::all_of(domain.cbegin(), domain.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
}

}  // namespace

QByteArray makeMessageId(const QString& senderAddress, const QByteArray& unique) {
    const qsizetype at = senderAddress.lastIndexOf(u'@');
    QByteArray domain = at < 0 ? QByteArray() : senderAddress.mid(at + 1).trimmed().toLatin1();
    if (!plainDomain(domain)) domain = QSysInfo::machineHostName().toLatin1();
    if (!plainDomain(domain)) domain = "localhost";
    return '<' + unique + '@' + domain + '>';
}

QByteArray makeMessageIdUnique() {
    auto* random = QRandomGenerator::system();
    QByteArray bits(12, '\0');
    for (char& c : bits) c = static_cast<char>(random->bounded(256));
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLatin1() + '.' +
           bits.toHex();
}

ComposedMessage composeMessage(const MessageFields& fields, const CompositionOptions& options) {
    const QByteArray charset = options.headerCharset.isEmpty() ? headerCharsetFromEnvironment() : options.headerCharset;
    const QString mimeTypesPath =
        options.mimeTypesPath.isEmpty() ? QStringLiteral("/etc/mime.types") : options.mimeTypesPath;
    // A NUL may not appear in a message at all; a text that holds one loses it.
    const QString body = QString(fields.body).remove(QChar(u'\0'));

    const bool attached = fields.attachedData || !fields.attachmentPath.isEmpty();
    const Shape shape = !attached ? Shape::Plain : hasText(body) ? Shape::Multipart : Shape::SinglePart;
    QString fileName;
    QByteArray contentType, attachment;
    if (fields.attachedData) {
        fileName = fields.attachedData->fileName;
        contentType = fields.attachedData->contentType;
        attachment = fields.attachedData->data;
    } else if (attached) {
        fileName = attachmentFileName(fields.attachmentPath);
        contentType = contentTypeForFile(fileName, mimeTypesPath).toLatin1();
        attachment = readAttachment(fields.attachmentPath, options.attachments);
    }
    const QByteArray boundary = shape != Shape::Multipart    ? QByteArray()
                                : options.boundary.isEmpty() ? makeBoundary()
                                                             : options.boundary;

    ComposedMessage message;
    message.fromAddress = QString::fromLatin1(asciiAddress(fields.senderAddress));
    for (const QString& recipient : parseRecipients(fields.recipients))
        message.recipients.append(QString::fromLatin1(asciiAddress(recipient)));

    LineWriter out;
    if (!fields.senderAddress.isEmpty() || !fields.senderName.isEmpty())
        out.header("From", formatSender(fields.senderAddress, fields.senderName, charset));
    out.header("Subject", encodeHeaderText(fields.subject, charset).trimmed());
    out.header("To", message.recipients.join(QStringLiteral(", ")).toLatin1());
    if (shape == Shape::Multipart) out.header("Content-Type", "multipart/mixed; boundary=\"" + boundary + '"');
    else if (shape == Shape::Plain) writeTextPartHeaders(out);
    out.header("MIME-Version", "1.0");
    out.header("Date", formatDateHeader(options.date.isValid() ? options.date : localNow()));
    out.header("Message-ID",
               makeMessageId(fields.senderAddress,
                             options.messageIdUnique.isEmpty() ? makeMessageIdUnique() : options.messageIdUnique));
    for (const auto& [name, value] : fields.extraHeaders) out.header(name.constData(), sevenBitValue(value));

    switch (shape) {
    case Shape::Plain:
        out.line();
        out.lines(quotedPrintableBody(body));
        out.line();
        break;
    case Shape::Multipart:
        out.line();
        out.line("This is a multi-part message in MIME format");
        out.line();
        out.line("--" + boundary);
        writeTextPartHeaders(out);
        out.header("Content-Disposition", "inline");
        out.line();
        out.lines(quotedPrintableBody(body));
        out.line();
        out.line("--" + boundary);
        writeAttachmentPart(out, fileName, contentType, attachment, charset);
        out.line("--" + boundary + "--");
        out.line();
        break;
    case Shape::SinglePart: writeAttachmentPart(out, fileName, contentType, attachment, charset); break;
    }
    message.lines = out.take();
    return message;
}

QString messageIdOf(const ComposedMessage& message) {
    static const QByteArray name = "message-id:";
    for (const QByteArray& line : message.lines) {
        if (line.isEmpty()) break;  // the end of the headers
        if (line.size() > name.size() && line.left(name.size()).toLower() == name)
            return QString::fromLatin1(line.mid(name.size()).trimmed());
    }
    return {};
}

}  // namespace velocast::mail
