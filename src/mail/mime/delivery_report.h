#pragma once
// Delivery status reports (RFC 3464) as mail servers send them back: which recipients of which
// message failed, were delayed or were delivered, and why. Also the automatic answers that are
// no report (out-of-office, vacation), which must never be taken for one.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "mail/mime/mime_reader.h"

namespace velocast::mail {

struct RecipientStatus {
    QString finalRecipient;     // the address, without its type ("rfc822;") or angle brackets
    QString originalRecipient;  // the same, as the sender gave it; empty when the report omits it
    QString action;             // lower case: failed, delayed, delivered, relayed, expanded
    QString status;             // "5.1.1"; empty when the field holds no such code
    QString diagnosticCode;     // as written, e.g. "smtp; 550 5.1.1 <ana@example.com>: no such user"
    QString remoteMta;
};

struct DeliveryReport {
    // What tells this report from any other: its own Message-ID, or when it has none
    // "sha256:" and a hash of its bytes.
    QString key;
    QString reportingMta;
    // The Message-ID of the message the report is about, "<…>", from the returned headers or
    // message; empty when the report returns neither.
    QString originalMessageId;
    std::vector<RecipientStatus> recipients;
};

// The report in `raw`; nothing when the message has no multipart/report of the type
// delivery-status with a status part that names at least one recipient.
std::optional<DeliveryReport> readDeliveryReport(const QByteArray& raw);
std::optional<DeliveryReport> readDeliveryReport(const MimeMessage& message, const QByteArray& raw);

// Whether the header marks the message as an automatic answer (Auto-Submitted other than
// "no", X-Autoreply, Precedence: auto_reply, an out-of-office subject). A delivery status
// report is never one, though some servers mark their reports "auto-replied" too: ask
// readDeliveryReport first.
bool isAutoReply(const MimeEntity& message);

// What a recipient's result means for the address (RFC 3463 status codes).
enum class BounceKind {
    Hard,    // failed for good because the address does not exist (5.1.x, 5.2.1)
    Soft,    // delayed, failed for now (4.x.x), or the mailbox is full (5.2.2)
    Policy,  // refused for the sender's reputation, content or authentication (x.7.x)
    Other,   // anything else: recorded, nothing follows from it
};
BounceKind classifyRecipient(const QString& action, const QString& status);
QString bounceKindName(BounceKind kind);  // "hard", "soft", "policy", "other"

// A Message-ID field's value as "<id>" (comments and blanks dropped); empty when it holds none.
QString normalizedMessageId(const QByteArray& value);

}  // namespace velocast::mail
