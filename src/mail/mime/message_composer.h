#pragma once
// One e-mail for one outbox row, as the lines that go between DATA and the final ".".
#include "mail/mime/attachment_policy.h"
#include "mail/mime/composed_message.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>
#include <stdexcept>

namespace velocast::mail {

// An attachment made by the program itself (the club's report as a spreadsheet), not read
// from a file.
struct AttachedData {
    QString fileName;
    QByteArray contentType;  // e.g. "text/csv; charset=UTF-8"
    QByteArray data;
};

// What the sender sets for one e-mail. Nothing else goes into it: every e-mail is composed
// afresh from these values.
struct MessageFields {
    QString senderAddress;  // the account's address
    QString senderName;     // the account's display name; the address stands in when empty
    QString recipients;     // the recipient's address as stored
    QString subject;
    QString body;            // widened; wrapped into lines here
    QString attachmentPath;  // the attachment's path as stored; empty for none
    // Instead of attachmentPath: an attachment the program made; no file is read.
    std::optional<AttachedData> attachedData = {};
    // Headers some campaigns carry besides the usual ones (List-Unsubscribe), as name and
    // 7-bit value, written after the Message-ID in this order.
    QList<QPair<QByteArray, QByteArray>> extraHeaders = {};
};

// What composing depends on besides the fields; each value left empty takes the program's
// own: the local time now, the charset of the process locale, a fresh random boundary,
// /etc/mime.types and a fresh random unique part of the Message-ID.
struct CompositionOptions {
    QDateTime date;            // its offset from UTC is the one written; invalid: now
    QByteArray headerCharset;  // a name from headerCharsetForLocale()
    QByteArray boundary;
    QString mimeTypesPath;
    QByteArray messageIdUnique;  // what stands before the "@" of the Message-ID
    // Which files may be attached; without one any regular file is read (the sender always
    // sets it: the path comes from the database).
    std::optional<AttachmentPolicy> attachments;
};

// The attachment could not be read, or the attachment policy refused it. what() is the text
// to show, in the form
// Cannot open file "<path>". <reason>
class CompositionError : public std::runtime_error {
public:
    explicit CompositionError(const QString& text);
    QString text() const { return QString::fromUtf8(what()); }
};

// Composes the e-mail: a plain message without attachment, a multipart message with an
// attachment and some text, a single-part message with an attachment and a blank text. The
// attachment is read now; throws CompositionError when it cannot be.
ComposedMessage composeMessage(const MessageFields& fields, const CompositionOptions& options = {});

// The value of the Date header, e.g. "Thu, 5 Mar 2026 09:07:03 -0300".
QByteArray formatDateHeader(const QDateTime& date);

// 34 random letters and digits with "=_" at a random place.
QByteArray makeBoundary();

// The Message-ID value "<unique@domain>": the domain of the sender's address, or this
// machine's name when the address has none. Large receivers refuse mail without one.
QByteArray makeMessageId(const QString& senderAddress, const QByteArray& unique);

// The Message-ID header's value of a composed message, "<unique@domain>": what ties a
// delivered message to the history of its row. Empty when the headers have none.
QString messageIdOf(const ComposedMessage& message);

// A part of a Message-ID that no other message will carry: the time and 96 random bits.
QByteArray makeMessageIdUnique();

}  // namespace velocast::mail
