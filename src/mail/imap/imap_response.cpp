#include "mail/imap/imap_response.h"

namespace velocast::mail {

namespace {

bool isStatus(const QByteArray& word) {
    return word == "OK" || word == "NO" || word == "BAD" || word == "BYE" || word == "PREAUTH";
}

[[noreturn]] void unreadable(const QByteArray& raw, const char* why) {
    throw ImapError(ImapFailure::Protocol, QStringLiteral("Unreadable IMAP response (%1): %2")
                                               .arg(QLatin1String(why), QString::fromLatin1(raw.left(200))));
}

class Cursor {
public:
    explicit Cursor(const QByteArray& raw) : raw_(raw) {}
    bool atEnd() const { return pos_ >= raw_.size(); }
    char peek() const { return atEnd() ? '\0' : raw_[pos_]; }
    void skipSpaces() {
        while (!atEnd() && raw_[pos_] == ' ') ++pos_;
    }
    // Up to the next space (or the end).
    QByteArray word() {
        const qsizetype start = pos_;
        while (!atEnd() && raw_[pos_] != ' ') ++pos_;
        return raw_.mid(start, pos_ - start);
    }
    QByteArray rest() {
        QByteArray text = raw_.mid(pos_);
        pos_ = raw_.size();
        return text;
    }
    qsizetype position() const { return pos_; }
    void setPosition(qsizetype pos) { pos_ = pos; }

    ImapValue value(int depth = 0) {
        if (depth > 64) unreadable(raw_, "lists nested too deep");
        skipSpaces();
        if (atEnd()) unreadable(raw_, "a value is missing");
        ImapValue v;
        const char c = raw_[pos_];
        if (c == '(') {
            ++pos_;
            v.kind = ImapValue::List;
            for (;;) {
                skipSpaces();
                if (atEnd()) unreadable(raw_, "an unclosed list");
                if (raw_[pos_] == ')') {
                    ++pos_;
                    return v;
                }
                v.items << value(depth + 1);
            }
        }
        if (c == '"') {
            v.kind = ImapValue::String;
            for (++pos_;; ++pos_) {
                if (atEnd()) unreadable(raw_, "an unclosed quoted string");
                char ch = raw_[pos_];
                if (ch == '"') break;
                if (ch == '\\') {
                    if (++pos_ >= raw_.size()) unreadable(raw_, "an unclosed quoted string");
                    ch = raw_[pos_];
                }
                v.text += ch;
            }
            ++pos_;
            return v;
        }
        if (c == '{') {
            const qsizetype close = raw_.indexOf('}', pos_);
            bool ok = false;
            const qsizetype size =
                close < 0 ? -1 : static_cast<qsizetype>(raw_.mid(pos_ + 1, close - pos_ - 1).toLongLong(&ok));
            if (!ok || size < 0 || raw_.mid(close + 1, 2) != "\r\n" || close + 3 + size > raw_.size())
                unreadable(raw_, "a literal out of place");
            v.kind = ImapValue::String;
            v.text = raw_.mid(close + 3, size);
            pos_ = close + 3 + size;
            return v;
        }
        // An atom; a section such as BODY[HEADER.FIELDS (FROM)] keeps its brackets and blanks.
        const qsizetype start = pos_;
        int brackets = 0;
        while (!atEnd()) {
            const char ch = raw_[pos_];
            if (ch == '[') ++brackets;
            else if (ch == ']' && brackets > 0) --brackets;
            else if (brackets == 0 && (ch == ' ' || ch == '(' || ch == ')' || ch == '\r' || ch == '\n')) break;
            ++pos_;
        }
        if (pos_ == start) unreadable(raw_, "an unexpected character");
        v.text = raw_.mid(start, pos_ - start);
        v.kind = v.text.compare("NIL", Qt::CaseInsensitive) == 0 ? ImapValue::Nil : ImapValue::Atom;
        if (v.kind == ImapValue::Nil) v.text.clear();
        return v;
    }

private:
    const QByteArray& raw_;
    qsizetype pos_ = 0;
};

// The size of the literal a line ends with ("... {123}"), or -1.
qint64 trailingLiteral(const QByteArray& line) {
    if (!line.endsWith('}')) return -1;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0 || line.size() - open - 2 < 1 || line.size() - open - 2 > 18) return -1;
    qint64 size = 0;
    for (qsizetype i = open + 1; i < line.size() - 1; ++i) {
        if (line[i] < '0' || line[i] > '9') return -1;
        size = size * 10 + (line[i] - '0');
    }
    return size;
}

}  // namespace

bool ImapValue::isAtom(const char* word) const {
    return kind == Atom && text.compare(QByteArray(word), Qt::CaseInsensitive) == 0;
}

bool ImapValue::toNumber(quint64& number) const {
    if (kind != Atom || text.isEmpty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    bool ok = false;
    number = text.toULongLong(&ok);
    return ok;
}

ImapResponse readImapResponse(ImapChannel& channel, Deadline deadline, const ImapLimits& limits) {
    QByteArray raw;
    QByteArray shown;
    for (;;) {
        const QByteArray line = channel.readLine(deadline, limits.lineBytes);
        raw += line;
        shown += line;
        if (raw.size() > limits.responseBytes)
            throw ImapError(ImapFailure::TooLarge,
                            QStringLiteral("An IMAP response passed the cap of %1 bytes.").arg(limits.responseBytes));
        const qint64 literal = trailingLiteral(line);
        if (literal < 0 || line.startsWith('+')) break;
        // Checked before reading: the size is the server's word, and the bytes would be kept.
        if (literal > limits.responseBytes - raw.size())
            throw ImapError(ImapFailure::TooLarge, QStringLiteral("The IMAP server announced a literal of %1 bytes, "
                                                                  "over the cap of %2 bytes for a response.")
                                                       .arg(literal)
                                                       .arg(limits.responseBytes));
        raw += "\r\n" + channel.readBytes(literal, deadline);
        shown += " [" + QByteArray::number(literal) + " bytes]";
    }
    ImapResponse response = parseImapResponse(raw);
    response.shown = shown;
    return response;
}

ImapResponse parseImapResponse(const QByteArray& raw) {
    ImapResponse r;
    r.shown = raw;
    Cursor in(raw);
    if (raw.startsWith('+')) {
        r.kind = ImapResponse::Continuation;
        r.text = QString::fromLatin1(raw.mid(raw.startsWith("+ ") ? 2 : 1));
        return r;
    }
    const QByteArray tag = in.word();
    if (tag.isEmpty()) unreadable(raw, "no tag");
    r.kind = tag == "*" ? ImapResponse::Untagged : ImapResponse::Tagged;
    if (r.kind == ImapResponse::Tagged) r.tag = tag;
    in.skipSpaces();
    QByteArray word = in.word().toUpper();
    if (r.kind == ImapResponse::Untagged && !word.isEmpty() && word.front() >= '0' && word.front() <= '9') {
        bool ok = false;
        r.number = word.toULongLong(&ok);
        if (!ok) unreadable(raw, "a bad message number");
        r.hasNumber = true;
        in.skipSpaces();
        word = in.word().toUpper();
    }
    if (isStatus(word) && !r.hasNumber) {
        r.status = word;
        in.skipSpaces();
        if (in.peek() == '[') {
            QByteArray rest = in.rest();
            const qsizetype close = rest.indexOf(']');
            if (close < 0) unreadable(raw, "an unclosed response code");
            const QByteArray code = rest.mid(1, close - 1).trimmed();
            const qsizetype space = code.indexOf(' ');
            r.code = (space < 0 ? code : code.left(space)).toUpper();
            r.codeArguments = space < 0 ? QByteArray() : code.mid(space + 1).trimmed();
            r.text = QString::fromUtf8(rest.mid(close + 1).trimmed());
        } else {
            r.text = QString::fromUtf8(in.rest().trimmed());
        }
        return r;
    }
    if (r.kind == ImapResponse::Tagged) unreadable(raw, "a tagged response without OK, NO or BAD");
    r.name = word;
    const qsizetype start = in.position();
    try {
        for (in.skipSpaces(); !in.atEnd(); in.skipSpaces()) r.values << in.value();
    } catch (const ImapError&) {
        // Data the client does not use may be in forms it does not read; only its own must parse.
        if (r.name == "FETCH" || r.name == "LIST" || r.name == "SEARCH" || r.name == "CAPABILITY") throw;
        r.values.clear();
        in.setPosition(start);
    }
    return r;
}

std::optional<QByteArray> quotedOrAtom(const QByteArray& bytes) {
    if (bytes.size() > 1000) return std::nullopt;
    QByteArray quoted = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || u == '\r' || u == '\n' || u == 0) return std::nullopt;
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QByteArray encodeMailboxName(const QString& name) {
    QByteArray out;
    QString run;  // characters waiting for their base64 shift
    const auto flush = [&] {
        if (run.isEmpty()) return;
        QByteArray utf16;
        for (const QChar ch : run) {
            utf16 += static_cast<char>(ch.unicode() >> 8);
            utf16 += static_cast<char>(ch.unicode() & 0xff);
        }
        out += '&' + utf16.toBase64(QByteArray::OmitTrailingEquals).replace('/', ',') + '-';
        run.clear();
    };
    for (const QChar ch : name) {
        if (ch.unicode() >= 0x20 && ch.unicode() <= 0x7e) {
            flush();
            out += ch == QLatin1Char('&') ? QByteArray("&-") : QByteArray(1, static_cast<char>(ch.unicode()));
        } else {
            run += ch;
        }
    }
    flush();
    return out;
}

QString decodeMailboxName(const QByteArray& name) {
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != '&') {
            out += QLatin1Char(name[i]);
            continue;
        }
        const qsizetype end = name.indexOf('-', i + 1);
        if (end < 0) return QString::fromUtf8(name);  // not modified UTF-7 after all
        if (end == i + 1) {
            out += QLatin1Char('&');
        } else {
            QByteArray b64 = name.mid(i + 1, end - i - 1).replace(',', '/');
            const QByteArray utf16 = QByteArray::fromBase64(b64);
            for (qsizetype k = 0; k + 1 < utf16.size(); k += 2)
                out += QChar(static_cast<char16_t>((static_cast<unsigned char>(utf16[k]) << 8) |
                                                   static_cast<unsigned char>(utf16[k + 1])));
        }
        i = end;
    }
    return out;
}

}  // namespace velocast::mail
