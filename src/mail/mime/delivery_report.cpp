#include "mail/mime/delivery_report.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace velocast::mail {

namespace {

constexpr int kMaxStatusBlocks = 1000;
// A status part is a few hundred bytes per recipient; beyond this it is no honest report.
constexpr qsizetype kMaxStatusBytes = 1024 * 1024;

bool isReport(const ContentType& ct) {
    if (!ct.is("multipart", "report")) return false;
    const QString type = ct.parameter("report-type").trimmed().toLower();
    return type == QLatin1String("delivery-status") || type == QLatin1String("global-delivery-status");
}

// The report may stand alone or sit inside a multipart a relay wrapped around it; never
// inside an enclosed message (a report forwarded by someone is theirs, not a report to us).
const MimeEntity* findReport(const MimeEntity& entity, int depth = 0) {
    if (isReport(entity.contentType)) return &entity;
    if (depth > 3) return nullptr;
    for (const MimeEntity& part : entity.parts)
        if (const MimeEntity* found = findReport(part, depth + 1)) return found;
    return nullptr;
}

// "rfc822; ana@example.com" (or "utf-8;"): the address, without the type and angle brackets.
QString addressOf(const QByteArray& value) {
    if (value.isNull()) return {};
    QByteArray address = value;
    if (const qsizetype semicolon = address.indexOf(';'); semicolon >= 0) address = address.mid(semicolon + 1);
    address = address.trimmed();
    if (address.startsWith('<') && address.endsWith('>')) address = address.mid(1, address.size() - 2).trimmed();
    return decodeHeaderText(address);
}

QString statusCode(const QByteArray& value) {
    static const QRegularExpression code(QStringLiteral("(?<![0-9.])([245])\\.([0-9]{1,3})\\.([0-9]{1,3})(?![0-9])"));
    const QRegularExpressionMatch m = code.match(QString::fromLatin1(value));
    return m.hasMatch() ? m.captured(0) : QString();
}

// The status part's groups of fields, separated by empty lines: the first about the message,
// each further one about a recipient.
std::vector<QList<HeaderField>> statusBlocks(const QByteArray& text) {
    std::vector<QList<HeaderField>> blocks;
    QByteArray block;
    const auto flush = [&] {
        if (block.isEmpty()) return;
        QList<HeaderField> fields = readHeaderFields(block, 200);
        if (!fields.isEmpty()) blocks.push_back(std::move(fields));
        block.clear();
    };
    qsizetype pos = 0;
    while (pos < text.size() && static_cast<int>(blocks.size()) < kMaxStatusBlocks) {
        qsizetype end = text.indexOf('\n', pos);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0) end = text.size();
        const QByteArrayView line(text.constData() + pos, end - pos);
        pos = next;
        if (line.trimmed().isEmpty()) {
            flush();
            continue;
        }
        // A line that is neither a field nor the continuation of one is dropped, so that the
        // fields around it are still read.
        const qsizetype colon = line.indexOf(':');
        const QByteArrayView name = colon > 0 ? line.first(colon).trimmed() : QByteArrayView();
        const bool field = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127;
        });
        const bool continuation = (line[0] == ' ' || line[0] == '\t') && !block.isEmpty();
        if (field || continuation) {
            block.append(line.data(), line.size());
            block.append('\n');
        }
    }
    flush();
    return blocks;
}

QString messageIdFromReturned(const MimeEntity& part) {
    const ContentType& ct = part.contentType;
    if (ct.is("text", "rfc822-headers") || ct.is("message", "rfc822-headers") || ct.is("message", "global-headers"))
        return normalizedMessageId(fieldOf(readHeaderFields(part.body()), "message-id"));
    if ((ct.is("message", "rfc822") || ct.is("message", "global")) && !part.enclosed.empty())
        return normalizedMessageId(part.enclosed.front().field("message-id"));
    return {};
}

bool subjectSaysAway(const QString& subject) {
    static const char* const kMarkers[] = {
        "automatic reply",
        "auto-reply",
        "autoreply",
        "auto reply",
        "out of office",
        "out of the office",
        "away from",
        "vacation",
        "abwesenheit",
        "resposta automática",
        "resposta automatica",
        "ausente",
        "fora do escritório",
        "fora do escritorio",
        "respuesta automática",
        "fuera de la oficina",
        "réponse automatique",
        "absence",
    };
    const QString s = subject.toLower();
    for (const char* marker : kMarkers)
        if (s.contains(QString::fromUtf8(marker))) return true;
    return false;
}

}  // namespace

QString normalizedMessageId(const QByteArray& value) {
    if (value.isNull()) return {};
    const qsizetype open = value.indexOf('<');
    const qsizetype close = open < 0 ? -1 : value.indexOf('>', open);
    QByteArray id;
    if (close > open + 1) {
        id = value.mid(open + 1, close - open - 1);
    } else {
        const QList<QByteArray> words = value.simplified().split(' ');
        id = words.isEmpty() ? QByteArray() : words.front();
    }
    id = id.trimmed();
    if (id.isEmpty()) return {};
    for (const char c : id)
        if (static_cast<unsigned char>(c) <= 32 || c == '<' || c == '>') return {};
    return QLatin1Char('<') + QString::fromUtf8(id) + QLatin1Char('>');
}

std::optional<DeliveryReport> readDeliveryReport(const QByteArray& raw) {
    return readDeliveryReport(readMimeMessage(raw), raw);
}

std::optional<DeliveryReport> readDeliveryReport(const MimeMessage& message, const QByteArray& raw) {
    const MimeEntity* report = findReport(message.root);
    if (!report) return std::nullopt;
    DeliveryReport result;
    bool statusSeen = false;
    QString reportedId;
    for (const MimeEntity& part : report->parts) {
        const ContentType& ct = part.contentType;
        if (!statusSeen && (ct.is("message", "delivery-status") || ct.is("message", "global-delivery-status"))) {
            statusSeen = true;
            bool first = true;
            for (const QList<HeaderField>& block : statusBlocks(part.body().left(kMaxStatusBytes))) {
                const QByteArray finalRecipient = fieldOf(block, "final-recipient");
                const QByteArray originalRecipient = fieldOf(block, "original-recipient");
                if (first) {
                    result.reportingMta = addressOf(fieldOf(block, "reporting-mta"));
                    // Gmail names the message here too; the returned headers, when there, come first.
                    reportedId = normalizedMessageId(fieldOf(block, "x-original-message-id"));
                    first = false;
                }
                if (finalRecipient.isNull() && originalRecipient.isNull()) continue;
                RecipientStatus r;
                r.finalRecipient = addressOf(finalRecipient.isNull() ? originalRecipient : finalRecipient);
                r.originalRecipient = addressOf(originalRecipient);
                r.action = QString::fromLatin1(fieldOf(block, "action").simplified().split(' ').front()).toLower();
                r.status = statusCode(fieldOf(block, "status"));
                r.diagnosticCode = decodeHeaderText(fieldOf(block, "diagnostic-code").simplified());
                r.remoteMta = addressOf(fieldOf(block, "remote-mta"));
                result.recipients.push_back(r);
            }
        } else if (result.originalMessageId.isEmpty()) {
            result.originalMessageId = messageIdFromReturned(part);
        }
    }
    if (result.recipients.empty()) return std::nullopt;
    if (result.originalMessageId.isEmpty()) result.originalMessageId = reportedId;
    result.key = normalizedMessageId(message.root.field("message-id"));
    if (result.key.isEmpty())
        result.key = QStringLiteral("sha256:") +
                     QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex());
    return result;
}

bool isAutoReply(const MimeEntity& message) {
    if (findReport(message)) return false;
    const QByteArray autoSubmitted = message.field("auto-submitted").trimmed().toLower();
    if (!autoSubmitted.isEmpty() && !autoSubmitted.startsWith("no")) return true;
    for (const char* name : {"x-autoreply", "x-autorespond", "x-autoresponder"})
        if (!message.field(name).isNull()) return true;
    for (const char* name : {"precedence", "x-precedence"}) {
        const QByteArray value = message.field(name).trimmed().toLower();
        if (value == "auto_reply" || value == "auto-reply") return true;
    }
    return subjectSaysAway(message.text("subject"));
}

BounceKind classifyRecipient(const QString& action, const QString& status) {
    const QStringList code = status.split(QLatin1Char('.'));
    const int cls = code.size() == 3 ? code[0].toInt() : 0;
    const int subject = code.size() == 3 ? code[1].toInt() : -1;
    const int detail = code.size() == 3 ? code[2].toInt() : -1;
    // Refusals for security or policy, lasting or not, speak of the sender, not of the address.
    if ((cls == 5 || cls == 4) && subject == 7) return BounceKind::Policy;
    if (action == QLatin1String("delayed")) return BounceKind::Soft;
    if (action != QLatin1String("failed")) return BounceKind::Other;
    if (cls == 4) return BounceKind::Soft;
    if (cls == 5 && subject == 1) return BounceKind::Hard;
    if (cls == 5 && subject == 2 && detail == 1) return BounceKind::Hard;
    if (cls == 5 && subject == 2 && detail == 2) return BounceKind::Soft;
    return BounceKind::Other;
}

QString bounceKindName(BounceKind kind) {
    switch (kind) {
    case BounceKind::Hard: return QStringLiteral("hard");
    case BounceKind::Soft: return QStringLiteral("soft");
    case BounceKind::Policy: return QStringLiteral("policy");
    case BounceKind::Other: return QStringLiteral("other");
    }
    return {};
}

}  // namespace velocast::mail
