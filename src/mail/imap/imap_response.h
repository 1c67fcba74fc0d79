#pragma once
// IMAP responses as the server sends them (RFC 3501 section 7): a line, continued after each
// literal "{n}" by exactly n bytes and the rest of the line, read whole under a size cap and
// then taken apart into a tag, a status and its response code, or data values (atoms, strings,
// NIL and parenthesised lists).
#include "mail/imap/imap_channel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace velocast::mail {

struct ImapValue {
    enum Kind { Atom, String, Nil, List } kind = Nil;
    QByteArray text;         // an atom (number included) or a string's bytes
    QList<ImapValue> items;  // a list's members

    bool isAtom(const char* word) const;
    // A number atom; false when it is not one.
    bool toNumber(quint64& number) const;
};

struct ImapResponse {
    enum Kind { Untagged, Tagged, Continuation } kind = Untagged;
    QByteArray tag;  // the tagged response's tag
    // Status responses (OK, NO, BAD, BYE, PREAUTH): the status in upper case, the response
    // code's atom in upper case and its arguments, and the human text.
    QByteArray status;
    QByteArray code;
    QByteArray codeArguments;
    QString text;
    // Untagged data: a number first when there was one ("* 3 EXISTS" gives 3), the name in
    // upper case ("EXISTS", "FETCH", "LIST", "SEARCH", "CAPABILITY") and the values after it.
    quint64 number = 0;
    bool hasNumber = false;
    QByteArray name;
    QList<ImapValue> values;
    // As the transcript shows it: literals replaced by "{n bytes}".
    QByteArray shown;
};

struct ImapLimits {
    qsizetype lineBytes = 4 * 1024 * 1024;       // one line of a response (a long SEARCH)
    qsizetype responseBytes = 64 * 1024 * 1024;  // a response with its literals (a whole message)
};

// Reads one whole response; ImapError TooLarge over the caps (before reading a literal that
// would pass them), Protocol when it cannot be read.
ImapResponse readImapResponse(ImapChannel& channel, Deadline deadline, const ImapLimits& limits);
// Takes apart the bytes of one response: lines joined by CR LF, each literal's bytes after
// the CR LF that follows its "{n}".
ImapResponse parseImapResponse(const QByteArray& raw);

// A string argument of a command: an atom-safe word as it is, other 7-bit text quoted, and
// anything else (8-bit, CR, LF, very long) nothing: the caller sends it as a literal.
std::optional<QByteArray> quotedOrAtom(const QByteArray& bytes);

// Mailbox names in modified UTF-7 (RFC 3501 section 5.1.3), both ways.
QByteArray encodeMailboxName(const QString& name);
QString decodeMailboxName(const QByteArray& name);

}  // namespace velocast::mail
