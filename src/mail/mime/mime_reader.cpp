#include "mail/mime/mime_reader.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <algorithm>
#include <map>

namespace velocast::mail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The bytes of a text in `charset`; a charset this system cannot convert reads as Latin-1,
// which keeps every byte visible rather than losing the text.
QString textFromCharset(const QByteArray& bytes, QByteArray charset) {
    charset = charset.trimmed().toLower();
    if (const qsizetype star = charset.indexOf('*'); star >= 0) charset.truncate(star);  // RFC 2231 language
    if (charset.isEmpty() || charset == "us-ascii" || charset == "utf-8" || charset == "utf8") {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(bytes);
        // Undeclared 8-bit text that is not UTF-8 is most likely Latin-1 or its Windows twin.
        if (!utf8.hasError() || charset.startsWith("utf")) return text;
        return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// --- Content-Type ---------------------------------------------------------------------

bool isTokenChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && !QByteArrayView("()<>@,;:\\\"/[]?=").contains(c);
}

class FieldScanner {
public:
    explicit FieldScanner(const QByteArray& text) : s_(text) {}
    bool atEnd() const { return pos_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[pos_]; }
    void advance() { ++pos_; }
    // Blanks and (comments), which may nest and hold quoted pairs.
    void skipCfws() {
        while (!atEnd()) {
            if (isSpace(peek())) {
                ++pos_;
            } else if (peek() == '(') {
                int depth = 0;
                while (!atEnd()) {
                    const char c = s_[pos_++];
                    if (c == '\\') {
                        ++pos_;
                    } else if (c == '(') {
                        ++depth;
                    } else if (c == ')' && --depth == 0) {
                        break;
                    }
                }
            } else {
                break;
            }
        }
    }
    QByteArray token() {
        const qsizetype start = pos_;
        while (!atEnd() && isTokenChar(peek())) ++pos_;
        return s_.mid(start, pos_ - start);
    }
    QByteArray quoted() {  // after the opening quote
        QByteArray out;
        while (!atEnd()) {
            const char c = s_[pos_++];
            if (c == '"') break;
            if (c == '\\' && !atEnd()) {
                out += s_[pos_++];
            } else if (c != '\r' && c != '\n') {
                out += c;
            }
        }
        return out;
    }
    // A value some mailers leave unquoted though it holds "=" or "/" (boundaries do).
    QByteArray looseValue() {
        const qsizetype start = pos_;
        while (!atEnd() && peek() != ';') ++pos_;
        return s_.mid(start, pos_ - start).trimmed();
    }
    void skipPast(char c) {
        while (!atEnd() && s_[pos_] != c) ++pos_;
    }

private:
    const QByteArray& s_;
    qsizetype pos_ = 0;
};

QByteArray percentDecoded(const QByteArray& value) {
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 && hexValue(value[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

struct Segment {
    int index = 0;
    bool numbered = false;
    bool extended = false;
    QByteArray value;
};

constexpr int kMaxParameters = 64;

}  // namespace

QString ContentType::parameter(const QByteArray& name) const {
    const QByteArray key = name.toLower();
    for (const auto& p : parameters)
        if (p.first == key) return p.second;
    return {};
}

bool ContentType::is(const char* t, const char* s) const { return type == t && (s == nullptr || subtype == s); }

ContentType readContentType(const QByteArray& value) {
    ContentType ct;
    FieldScanner in(value);
    in.skipCfws();
    const QByteArray type = in.token().toLower();
    in.skipCfws();
    if (type.isEmpty() || in.peek() != '/') return ct;
    in.advance();
    in.skipCfws();
    const QByteArray subtype = in.token().toLower();
    if (subtype.isEmpty()) return ct;
    ct.type = type;
    ct.subtype = subtype;

    // Parameters in the order met; RFC 2231 pieces gathered by name and joined afterwards.
    std::map<QByteArray, std::vector<Segment>> pieces;
    QList<QByteArray> order;
    int count = 0;
    while (!in.atEnd() && count < kMaxParameters) {
        in.skipCfws();
        if (in.atEnd()) break;
        if (in.peek() != ';') {
            in.skipPast(';');
            continue;
        }
        in.advance();
        in.skipCfws();
        QByteArray name = in.token().toLower();
        in.skipCfws();
        if (name.isEmpty() || in.peek() != '=') {
            in.skipPast(';');
            continue;
        }
        in.advance();
        in.skipCfws();
        QByteArray v;
        if (in.peek() == '"') {
            in.advance();
            v = in.quoted();
        } else {
            v = in.looseValue();
        }
        ++count;
        Segment seg;
        if (name.endsWith('*')) {
            seg.extended = true;
            name.chop(1);
        }
        if (const qsizetype star = name.lastIndexOf('*'); star > 0) {
            bool ok = false;
            const int index = name.mid(star + 1).toInt(&ok);
            if (ok && index >= 0 && index < kMaxParameters) {
                seg.index = index;
                seg.numbered = true;
                name.truncate(star);
            }
        }
        seg.value = v;
        if (!pieces.count(name)) order << name;
        pieces[name].push_back(seg);
    }
    for (const QByteArray& name : order) {
        std::vector<Segment>& segs = pieces[name];
        // A plain value beside an RFC 2231 one of the same name (for older readers): the
        // RFC 2231 one is meant.
        if (std::any_of(segs.begin(), segs.end(), [](const Segment& s) { return s.extended || s.numbered; }))
            std::erase_if(segs, [](const Segment& s) { return !s.extended && !s.numbered; });
        std::stable_sort(segs.begin(), segs.end(),
                         [](const Segment& a, const Segment& b) { return a.index < b.index; });
        QByteArray bytes;
        QByteArray charset;
        int expected = 0;
        for (const Segment& s : segs) {
            if (s.index != expected) continue;  // a repeat or a gap: the first of each index counts
            ++expected;
            QByteArray piece = s.value;
            if (s.extended) {
                if (s.index == 0) {
                    const qsizetype q1 = piece.indexOf('\'');
                    const qsizetype q2 = q1 < 0 ? -1 : piece.indexOf('\'', q1 + 1);
                    if (q2 > 0) {
                        charset = piece.left(q1);
                        piece = piece.mid(q2 + 1);
                    }
                }
                piece = percentDecoded(piece);
            }
            bytes += piece;
        }
        ct.parameters.append({name, textFromCharset(bytes, charset)});
    }
    return ct;
}

// --- Header fields ----------------------------------------------------------------------

QList<HeaderField> readHeaderFields(const QByteArray& text, int maxFields, QByteArray* rest) {
    QList<HeaderField> fields;
    const auto done = [&](QByteArray body) {
        if (rest) *rest = std::move(body);
        for (HeaderField& f : fields) f.value = f.value.trimmed();
        return fields;
    };
    bool current = false;  // the last line began a field that was kept
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        qsizetype end = text.indexOf('\n', pos);
        const qsizetype next = end < 0 ? size : end + 1;
        if (end < 0) end = size;
        qsizetype lineEnd = end;
        if (lineEnd > pos && text[lineEnd - 1] == '\r') --lineEnd;
        if (lineEnd == pos) return done(text.mid(next));  // the empty line that ends the header
        const QByteArrayView line(text.constData() + pos, lineEnd - pos);
        if (isBlank(line[0])) {
            if (current) fields.last().value += QByteArray(line.data(), line.size());
            pos = next;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        QByteArrayView name = colon > 0 ? line.first(colon).trimmed() : QByteArrayView();
        const bool valid = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
            const unsigned char u = static_cast<unsigned char>(c);
            return u > 32 && u < 127 && c != ':';
        });
        if (!valid) {
            // An mbox separator before the first field is no part of the message; any other
            // line that is no field ends the header, and the body begins with it.
            if (fields.isEmpty() && !current && line.startsWith("From ")) {
                pos = next;
                continue;
            }
            return done(text.mid(pos));
        }
        current = fields.size() < maxFields;
        if (current)
            fields.append(
                {QByteArray(name.data(), name.size()), QByteArray(line.data() + colon + 1, line.size() - colon - 1)});
        pos = next;
    }
    return done(QByteArray());
}

QByteArray fieldOf(const QList<HeaderField>& fields, const QByteArray& name) {
    for (const HeaderField& f : fields)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return f.value.isNull() ? QByteArray("") : f.value;
    return {};
}

// --- Encodings ----------------------------------------------------------------------------

QByteArray decodeBase64(const QByteArray& data) {
    // Line breaks and stray characters are skipped; whatever complete groups there are count.
    QByteArray clean;
    clean.reserve(data.size());
    for (const char c : data) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/')
            clean += c;
        else if (c == '=') break;  // padding ends the data
    }
    return QByteArray::fromBase64(clean);
}

QByteArray decodeQuotedPrintable(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    qsizetype pos = 0;
    const qsizetype size = data.size();
    while (pos < size) {
        qsizetype end = data.indexOf('\n', pos);
        const bool lastLine = end < 0;
        if (lastLine) end = size;
        qsizetype lineEnd = end;
        // Blanks at the end of a line were added in transport.
        while (lineEnd > pos && (isBlank(data[lineEnd - 1]) || data[lineEnd - 1] == '\r')) --lineEnd;
        bool soft = false;
        for (qsizetype i = pos; i < lineEnd; ++i) {
            const char c = data[i];
            if (c != '=') {
                out += c;
            } else if (i + 1 == lineEnd) {
                soft = true;
            } else if (i + 2 < lineEnd && hexValue(data[i + 1]) >= 0 && hexValue(data[i + 2]) >= 0) {
                out += static_cast<char>(hexValue(data[i + 1]) * 16 + hexValue(data[i + 2]));
                i += 2;
            } else {
                out += c;  // not an escape: kept as written
            }
        }
        if (!soft && !lastLine) out += "\r\n";
        pos = end + 1;
    }
    return out;
}

QString decodeHeaderText(const QByteArray& value) {
    QString out;
    QByteArray pending;  // bytes of adjacent encoded words in one charset, decoded together
    QByteArray pendingCharset;
    const auto flush = [&] {
        if (!pending.isEmpty() || !pendingCharset.isEmpty()) out += textFromCharset(pending, pendingCharset);
        pending.clear();
        pendingCharset.clear();
    };
    qsizetype pos = 0;
    qsizetype plainStart = 0;
    bool lastWasWord = false;
    const qsizetype size = value.size();
    while (pos < size) {
        const qsizetype start = value.indexOf("=?", pos);
        if (start < 0) break;
        // =?charset?B|Q?text?=
        const qsizetype q1 = value.indexOf('?', start + 2);
        const qsizetype q2 = q1 < 0 ? -1 : value.indexOf('?', q1 + 1);
        const qsizetype close = q2 < 0 ? -1 : value.indexOf("?=", q2 + 1);
        // With no "?" or "?=" left, no later word can be whole either: searching on from each
        // "=?" would go through the rest of the value again and again.
        if (close < 0) break;
        const bool shaped = q1 > start + 2 && q2 == q1 + 2 && close > q2;
        const QByteArray charset = shaped ? value.mid(start + 2, q1 - start - 2) : QByteArray();
        const char encoding = shaped ? static_cast<char>(value[q1 + 1] | 0x20) : '\0';
        const QByteArray word = shaped ? value.mid(q2 + 1, close - q2 - 1) : QByteArray();
        const bool valid = shaped && (encoding == 'b' || encoding == 'q') &&
                           std::none_of(charset.begin(), charset.end(), isSpace) &&
                           std::none_of(word.begin(), word.end(), isSpace);
        if (!valid) {
            pos = start + 2;
            continue;
        }
        const QByteArray between = value.mid(plainStart, start - plainStart);
        const bool onlyBlanks = std::all_of(between.begin(), between.end(), isSpace);
        if (!(lastWasWord && onlyBlanks)) {
            flush();
            out += textFromCharset(between, QByteArray());
        }
        QByteArray bytes;
        if (encoding == 'b') {
            bytes = decodeBase64(word);
        } else {
            for (qsizetype i = 0; i < word.size(); ++i) {
                if (word[i] == '_') {
                    bytes += ' ';
                } else if (word[i] == '=' && i + 2 < word.size() && hexValue(word[i + 1]) >= 0 &&
                           hexValue(word[i + 2]) >= 0) {
                    bytes += static_cast<char>(hexValue(word[i + 1]) * 16 + hexValue(word[i + 2]));
                    i += 2;
                } else {
                    bytes += word[i];
                }
            }
        }
        if (charset.toLower() != pendingCharset.toLower()) flush();
        pendingCharset = charset.isEmpty() ? QByteArray("utf-8") : charset;
        pending += bytes;
        pos = plainStart = close + 2;
        lastWasWord = true;
    }
    flush();
    out += textFromCharset(value.mid(plainStart), QByteArray());
    return out;
}

// --- Entities -----------------------------------------------------------------------------

QByteArray MimeEntity::field(const QByteArray& name) const { return fieldOf(fields, name); }

QString MimeEntity::text(const QByteArray& name) const {
    const QByteArray value = field(name);
    return value.isNull() ? QString() : decodeHeaderText(value);
}

QByteArray MimeEntity::body() const {
    if (transferEncoding == "base64") return decodeBase64(rawBody);
    if (transferEncoding == "quoted-printable") return decodeQuotedPrintable(rawBody);
    return rawBody;
}

namespace {

struct Reading {
    const MimeLimits& limits;
    QStringList& problems;
    int entities = 0;
    bool partsCapped = false;
    bool depthCapped = false;
};

// The bodies of a multipart: what lies between its delimiter lines ("--" boundary, with
// blanks allowed after it); the line break before a delimiter belongs to it. The preamble
// and the epilogue are dropped; without the closing delimiter the last part runs to the end.
std::vector<QByteArray> splitParts(const QByteArray& body, const QByteArray& boundary, size_t maxParts, bool* closed) {
    std::vector<QByteArray> parts;
    const QByteArray delimiter = "--" + boundary;
    const qsizetype size = body.size();
    qsizetype partStart = -1;
    qsizetype pos = 0;
    *closed = false;
    while (pos < size) {
        qsizetype end = body.indexOf('\n', pos);
        const qsizetype next = end < 0 ? size : end + 1;
        if (end < 0) end = size;
        if (end - pos >= delimiter.size() && QByteArrayView(body.constData() + pos, delimiter.size()) == delimiter) {
            qsizetype after = pos + delimiter.size();
            const bool closing = end - after >= 2 && body[after] == '-' && body[after + 1] == '-';
            if (closing) after += 2;
            bool onlyBlanks = true;
            for (qsizetype i = after; i < end && onlyBlanks; ++i) onlyBlanks = isSpace(body[i]);
            if (onlyBlanks) {
                if (partStart >= 0) {
                    qsizetype partEnd = pos;
                    if (partEnd > partStart && body[partEnd - 1] == '\n') --partEnd;
                    if (partEnd > partStart && body[partEnd - 1] == '\r') --partEnd;
                    parts.push_back(body.mid(partStart, partEnd - partStart));
                    if (parts.size() > maxParts) return parts;  // the caller says what was left out
                }
                if (closing) {
                    *closed = true;
                    return parts;
                }
                partStart = next;
            }
        }
        pos = next;
    }
    if (partStart >= 0) parts.push_back(body.mid(partStart));
    return parts;
}

void readEntity(const QByteArray& bytes, MimeEntity& entity, int depth, Reading& r, bool digest) {
    entity.fields = readHeaderFields(bytes, r.limits.maxFields, &entity.rawBody);
    const QByteArray type = entity.field("content-type");
    if (!type.isNull()) {
        entity.contentType = readContentType(type);
    } else if (digest) {
        entity.contentType.type = "message";
        entity.contentType.subtype = "rfc822";
    }
    const QByteArray encoding = entity.field("content-transfer-encoding").trimmed().toLower();
    if (!encoding.isEmpty()) entity.transferEncoding = encoding;

    const ContentType& ct = entity.contentType;
    const bool multipart = ct.type == "multipart";
    const bool enclosing = ct.is("message", "rfc822") || ct.is("message", "global");
    if (!multipart && !enclosing) return;
    if (depth >= r.limits.maxDepth) {
        if (!r.depthCapped)
            r.problems
                << QStringLiteral("nested deeper than %1 levels; the rest is read as one part").arg(r.limits.maxDepth);
        r.depthCapped = true;
        return;
    }
    if (multipart) {
        const QByteArray boundary = ct.parameter("boundary").toUtf8();
        if (boundary.isEmpty() || boundary.size() > 200) {
            r.problems << QStringLiteral("a multipart without a usable boundary is read as one part");
            return;
        }
        bool closed = false;
        const size_t maxParts = static_cast<size_t>(r.limits.maxParts);
        std::vector<QByteArray> bodies = splitParts(entity.rawBody, boundary, maxParts, &closed);
        if (!closed && bodies.size() <= maxParts)
            r.problems << QStringLiteral("a multipart ends without its closing boundary");
        entity.rawBody.clear();  // the content lives on in the parts
        for (const QByteArray& part : bodies) {
            if (++r.entities > r.limits.maxParts) {
                if (!r.partsCapped)
                    r.problems << QStringLiteral("more than %1 parts; the rest is ignored").arg(r.limits.maxParts);
                r.partsCapped = true;
                return;
            }
            entity.parts.emplace_back();
            readEntity(part, entity.parts.back(), depth + 1, r, ct.subtype == "digest");
        }
        return;
    }
    if (++r.entities > r.limits.maxParts) {
        if (!r.partsCapped)
            r.problems << QStringLiteral("more than %1 parts; the rest is ignored").arg(r.limits.maxParts);
        r.partsCapped = true;
        return;
    }
    // An enclosed message should not be encoded, but returned messages sometimes are.
    const QByteArray inner = entity.body();
    entity.rawBody.clear();
    entity.enclosed.emplace_back();
    readEntity(inner, entity.enclosed.back(), depth + 1, r, false);
}

}  // namespace

MimeMessage readMimeMessage(const QByteArray& raw, const MimeLimits& limits) {
    MimeMessage message;
    Reading r{limits, message.problems};
    r.entities = 1;
    if (raw.size() > limits.maxSize)
        message.problems << QStringLiteral("larger than %1 bytes; only the beginning is read").arg(limits.maxSize);
    readEntity(raw.size() > limits.maxSize ? raw.left(limits.maxSize) : raw, message.root, 0, r, false);
    return message;
}

}  // namespace velocast::mail
