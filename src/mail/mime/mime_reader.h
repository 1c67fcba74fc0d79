#pragma once
// Reads a message as it arrives from a mailbox (the raw bytes of one message) into its
// entities: the header fields, unfolded; the content type and its parameters; the parts of a
// multipart and the message a message/rfc822 part encloses; bodies decoded from their
// transfer encoding. What comes in was written by anyone, so the reader takes any bytes at
// all: it never fails, stops at fixed caps on depth, part count and size, and reports what it
// left out instead of trusting the input to be well formed.
#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

namespace velocast::mail {

struct MimeLimits {
    int maxDepth = 12;                     // multipart and enclosed-message nesting
    int maxParts = 500;                    // entities in the whole message
    qsizetype maxSize = 32 * 1024 * 1024;  // bytes read; the rest is ignored
    int maxFields = 1000;                  // header fields per entity
};

struct HeaderField {
    QByteArray name;   // as written
    QByteArray value;  // unfolded (line breaks before blanks removed), surrounding blanks removed
};

struct ContentType {
    QByteArray type = "text";  // lower case
    QByteArray subtype = "plain";
    // Parameter names in lower case; values unquoted, RFC 2231 continuations joined and
    // decoded to text.
    QList<QPair<QByteArray, QString>> parameters;
    QString parameter(const QByteArray& name) const;
    bool is(const char* type, const char* subtype = nullptr) const;
};

struct MimeEntity {
    QList<HeaderField> fields;
    ContentType contentType;
    QByteArray transferEncoding = "7bit";  // lower case
    QByteArray rawBody;                    // as it stands in the message
    std::vector<MimeEntity> parts;         // of a multipart
    std::vector<MimeEntity> enclosed;      // the message of a message/rfc822 or message/global part (0 or 1)

    // The first field of that name (any letter case), unfolded; null when there is none.
    QByteArray field(const QByteArray& name) const;
    // The same as text for people: RFC 2047 encoded words decoded.
    QString text(const QByteArray& name) const;
    // The body with its transfer encoding undone (base64, quoted-printable; the others as they are).
    QByteArray body() const;
};

struct MimeMessage {
    MimeEntity root;
    // What the caps cut off or what could not be read as written: one short line each.
    QStringList problems;
};

MimeMessage readMimeMessage(const QByteArray& raw, const MimeLimits& limits = {});

// Header fields only (the body of a text/rfc822-headers part, or one block of a delivery
// status): the fields up to the first empty line. `rest`, when given, receives what follows it.
QList<HeaderField> readHeaderFields(const QByteArray& text, int maxFields = 1000, QByteArray* rest = nullptr);
QByteArray fieldOf(const QList<HeaderField>& fields, const QByteArray& name);

// Content-Type's value: a malformed one reads as text/plain, as a reader must take it.
ContentType readContentType(const QByteArray& value);
// Unstructured header text with RFC 2047 encoded words decoded; unknown charsets as Latin-1.
QString decodeHeaderText(const QByteArray& value);
QByteArray decodeBase64(const QByteArray& data);
QByteArray decodeQuotedPrintable(const QByteArray& data);

}  // namespace velocast::mail
