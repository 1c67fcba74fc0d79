#include "mail/imap/imap_client.h"

#include "mail/sasl/sasl_bearer.h"
#include "mail/smtp/smtp_reply.h"

#include <algorithm>

namespace velocast::mail {

namespace {

bool separatesWords(QChar c) { return c.isSpace() || QStringView(u"\"'<>()[]{},;:=*").contains(c); }

// Masks a secret where it stands as a word of its own (a password that happens to be "OK"
// must not blank out every response).
void maskWord(QString& text, const QString& secret) {
    if (secret.isEmpty()) return;
    for (qsizetype at = text.indexOf(secret); at >= 0; at = text.indexOf(secret, at + 1)) {
        const qsizetype end = at + secret.size();
        if ((at == 0 || separatesWords(text[at - 1])) && (end == text.size() || separatesWords(text[end]))) {
            text.replace(at, secret.size(), QStringLiteral("****"));
            at += 3;
        }
    }
}

QString describe(const ImapResponse& tagged) {
    QString text = QString::fromLatin1(tagged.status);
    if (!tagged.code.isEmpty())
        text += QStringLiteral(" [%1%2]").arg(
            QString::fromLatin1(tagged.code),
            tagged.codeArguments.isEmpty() ? QString() : QLatin1Char(' ') + QString::fromLatin1(tagged.codeArguments));
    if (!tagged.text.isEmpty()) text += QLatin1Char(' ') + printableText(tagged.text);
    return text;
}

QByteArray uidText(quint64 uid) { return QByteArray::number(uid); }

}  // namespace

ImapClient::ImapClient(ImapEndpoint endpoint, ImapCredentials credentials)
    : endpoint_(std::move(endpoint)), credentials_(std::move(credentials)) {}

ImapClient::~ImapClient() { channel_.close(false); }

void ImapClient::record(ImapTranscriptKind kind, const QString& line) {
    const QString shown = scrub(line);
    transcript_ << (kind == ImapTranscriptKind::Sent       ? QStringLiteral("C: ")
                    : kind == ImapTranscriptKind::Received ? QStringLiteral("S: ")
                                                           : QStringLiteral("-- ")) +
                       shown;
    if (observer_) observer_(kind, shown);
}

QString ImapClient::scrub(QString text) const {
    maskWord(text, credentials_.password);
    for (const QString& secret : secrets_) maskWord(text, secret);
    return text;
}

void ImapClient::fail(ImapError error) {
    // Anything but a refusal leaves the session where nothing more can be said on it.
    if (error.failure() != ImapFailure::Refused) channel_.close(false);
    record(ImapTranscriptKind::Note, QStringLiteral("failed: %1").arg(error.message()));
    throw ImapError(error.failure(), scrub(error.message()), error.command(), error.status(), error.responseCode());
}

bool ImapClient::hasCapability(const QByteArray& capability) const {
    return std::any_of(capabilities_.begin(), capabilities_.end(),
                       [&](const QByteArray& c) { return c.compare(capability, Qt::CaseInsensitive) == 0; });
}

void ImapClient::takeUntagged(const ImapResponse& response) {
    if (response.name == "CAPABILITY" || response.code == "CAPABILITY") capabilitiesFresh_ = true;
    if (response.name == "CAPABILITY") {
        capabilities_.clear();
        for (const ImapValue& v : response.values) capabilities_ << v.text;
    } else if (!response.status.isEmpty() && response.code == "CAPABILITY") {
        capabilities_ = response.codeArguments.split(' ');
        capabilities_.removeAll(QByteArray());
    }
}

ImapResponse ImapClient::readResponse(Deadline deadline, const QString& command) {
    try {
        ImapResponse response = readImapResponse(channel_, deadline, limits_);
        record(ImapTranscriptKind::Received, printableText(QString::fromUtf8(response.shown)));
        return response;
    } catch (ImapError& error) {
        error.setCommand(command);
        fail(error);
    }
}

void ImapClient::refused(const QString& command, const ImapResponse& tagged) {
    fail(ImapError(ImapFailure::Refused,
                   QStringLiteral("The IMAP server refused %1: %2").arg(command, describe(tagged)), command,
                   QString::fromLatin1(tagged.status), QString::fromLatin1(tagged.code)));
}

ImapClient::Part ImapClient::stringArgument(const QByteArray& bytes, bool secret) const {
    if (const std::optional<QByteArray> quoted = quotedOrAtom(bytes)) return {*quoted, false, secret};
    return {bytes, true, secret};
}

ImapClient::Result ImapClient::run(const QString& name, const QList<Part>& parts, int timeoutMs) {
    if (!channel_.isOpen())
        throw ImapError(ImapFailure::Closed, QStringLiteral("Not connected to the IMAP server."), name);
    const QByteArray tag = "A" + QByteArray::number(nextTag_++);
    const Deadline deadline = deadlineAfter(timeoutMs > 0 ? timeoutMs : timeouts_.commandMs);
    Result result;
    QByteArray line = tag;
    QString shown = QString::fromLatin1(tag);
    const auto send = [&](const QByteArray& bytes) {
        try {
            channel_.writeAll(bytes, deadline);
        } catch (ImapError& error) {
            error.setCommand(name);
            fail(error);
        }
    };
    // Reads until the tagged answer (or, inside a command, the go-ahead for a literal).
    const auto await = [&](bool continuation) {
        for (;;) {
            ImapResponse response = readResponse(deadline, name);
            if (response.kind == ImapResponse::Continuation) {
                if (continuation) return;
                fail(ImapError(ImapFailure::Protocol,
                               QStringLiteral("The IMAP server asked for more of %1 than there is.").arg(name), name));
            }
            if (response.kind == ImapResponse::Tagged) {
                if (response.tag != tag)
                    fail(ImapError(ImapFailure::Protocol,
                                   QStringLiteral("The IMAP server answered a command never sent (tag %1).")
                                       .arg(QString::fromLatin1(response.tag)),
                                   name));
                if (response.status != "OK") refused(name, response);
                takeUntagged(response);
                result.tagged = response;
                return;
            }
            takeUntagged(response);
            result.untagged << response;
            if (response.status == "BYE" && name != QLatin1String("LOGOUT"))
                fail(ImapError(
                    ImapFailure::Closed,
                    QStringLiteral("The IMAP server ended the session: %1").arg(printableText(response.text)), name));
            if (continuation && !result.tagged.tag.isEmpty()) return;
        }
    };
    for (const Part& part : parts) {
        line += ' ';
        shown += QLatin1Char(' ');
        if (!part.literal) {
            line += part.bytes;
            shown += part.secret ? QStringLiteral("****") : QString::fromUtf8(part.bytes);
            continue;
        }
        // A synchronising literal: the server says go ahead (or refuses the command) first.
        const QByteArray marker = "{" + QByteArray::number(part.bytes.size()) + "}";
        line += marker;
        shown += QString::fromLatin1(marker);
        record(ImapTranscriptKind::Sent, shown);
        send(line + "\r\n");
        await(true);
        line = part.bytes;
        shown = part.secret ? QStringLiteral("****") : printableText(QString::fromUtf8(part.bytes));
    }
    record(ImapTranscriptKind::Sent, shown);
    send(line + "\r\n");
    await(false);
    return result;
}

ImapClient::Result ImapClient::runSimple(const QString& name, const QByteArray& line, int timeoutMs) {
    return run(name, {Part{line}}, timeoutMs);
}

void ImapClient::readCapabilities() { runSimple(QStringLiteral("CAPABILITY"), "CAPABILITY"); }

void ImapClient::connect() {
    channel_.close(false);
    capabilities_.clear();
    delimiter_.reset();
    selected_.clear();
    const QString where = QStringLiteral("%1:%2").arg(endpoint_.host).arg(endpoint_.port);
    if (endpoint_.host.isEmpty())
        fail(ImapError(ImapFailure::Connect, QStringLiteral("No IMAP server is set (the host is empty)."),
                       QStringLiteral("connect")));
    const Deadline deadline = deadlineAfter(timeouts_.connectMs);
    const auto startTls = [&] {
        try {
            channel_.startTls(endpoint_.host, endpoint_.trust, deadline);
        } catch (ImapError& error) {
            const TlsPeerReport& peer = channel_.peerReport();
            if (!peer.verdict.isEmpty())
                record(ImapTranscriptKind::Note, QStringLiteral("server certificate %1").arg(peer.verdict));
            error.setCommand(QStringLiteral("TLS"));
            fail(error);
        }
        record(ImapTranscriptKind::Note, QStringLiteral("TLS started (%1)").arg(channel_.tlsDescription()));
    };
    try {
        channel_.open(endpoint_.host, endpoint_.port, timeouts_.connectMs);
    } catch (ImapError& error) {
        error.setCommand(QStringLiteral("connect"));
        fail(ImapError(error.failure(),
                       QStringLiteral("Cannot connect to the IMAP server %1: %2").arg(where, error.message()),
                       error.command()));
    }
    record(ImapTranscriptKind::Note, QStringLiteral("connected to %1").arg(where));
    if (endpoint_.tls == ImapTls::Implicit) startTls();
    const ImapResponse greeting = readResponse(deadline, QStringLiteral("greeting"));
    if (greeting.kind != ImapResponse::Untagged || (greeting.status != "OK" && greeting.status != "PREAUTH"))
        fail(ImapError(greeting.status == "BYE" ? ImapFailure::Closed : ImapFailure::Protocol,
                       QStringLiteral("The IMAP server %1 did not greet: %2")
                           .arg(where, printableText(QString::fromUtf8(greeting.shown))),
                       QStringLiteral("greeting"), QString::fromLatin1(greeting.status),
                       QString::fromLatin1(greeting.code)));
    takeUntagged(greeting);
    if (endpoint_.tls == ImapTls::StartTls) {
        // A session signed in before TLS could never be protected afterwards.
        if (greeting.status == "PREAUTH")
            fail(ImapError(ImapFailure::NoTls,
                           QStringLiteral("The IMAP server %1 opened a signed-in session in clear, before STARTTLS; "
                                          "use implicit TLS (port 993) for it.")
                               .arg(where),
                           QStringLiteral("STARTTLS")));
        if (capabilities_.isEmpty()) readCapabilities();
        if (!hasCapability("STARTTLS"))
            fail(ImapError(ImapFailure::NoTls,
                           QStringLiteral("The IMAP server %1 does not offer STARTTLS, and the mailbox is never read "
                                          "in clear: use implicit TLS (port 993) or a server that offers STARTTLS.")
                               .arg(where),
                           QStringLiteral("STARTTLS")));
        runSimple(QStringLiteral("STARTTLS"), "STARTTLS", timeouts_.connectMs);
        // Bytes after the go-ahead and before the handshake came in clear: whoever is on the
        // line could have put them there to be read as the protected session's.
        if (channel_.hasBufferedBytes())
            fail(ImapError(
                ImapFailure::Protocol,
                QStringLiteral("The IMAP server %1 sent data between STARTTLS and the TLS handshake.").arg(where),
                QStringLiteral("STARTTLS")));
        startTls();
        capabilities_.clear();  // what was said in clear counts for nothing now
    }
    if (capabilities_.isEmpty()) readCapabilities();
}

void ImapClient::requireTls(const char* what) const {
    if (!channel_.tlsActive())
        throw ImapError(ImapFailure::NoTls, QStringLiteral("The %1 is sent only over TLS.").arg(QLatin1String(what)),
                        QStringLiteral("sign-in"));
}

QString ImapClient::signIn() {
    if (credentials_.userName.isEmpty())
        fail(ImapError(ImapFailure::SignIn, QStringLiteral("The mailbox's user name is empty."),
                       QStringLiteral("sign-in")));
    capabilitiesFresh_ = false;
    return credentials_.bearer ? signInWithBearer() : signInWithPassword();
}

ImapClient::Result ImapClient::authenticate(
    const QByteArray& mechanism, const QByteArray& initial,
    const std::function<std::optional<QByteArray>(int, const QByteArray&)>& answer) {
    const QString name = QStringLiteral("AUTHENTICATE ") + QString::fromLatin1(mechanism);
    const QByteArray tag = "A" + QByteArray::number(nextTag_++);
    const Deadline deadline = deadlineAfter(timeouts_.commandMs);
    secrets_ << QString::fromLatin1(initial.toBase64());
    const bool inline_ = hasCapability("SASL-IR");
    QByteArray line = tag + " AUTHENTICATE " + mechanism;
    QString shown = QString::fromLatin1(line);
    if (inline_) {
        line += ' ' + (initial.isEmpty() ? QByteArray("=") : initial.toBase64());
        shown += QStringLiteral(" ****");
    }
    const auto send = [&](const QByteArray& bytes, const QString& text) {
        record(ImapTranscriptKind::Sent, text);
        try {
            channel_.writeAll(bytes + "\r\n", deadline);
        } catch (ImapError& error) {
            error.setCommand(name);
            fail(error);
        }
    };
    send(line, shown);
    Result result;
    bool initialSent = inline_;
    for (int step = 0;;) {
        const ImapResponse response = readResponse(deadline, name);
        if (response.kind == ImapResponse::Continuation) {
            std::optional<QByteArray> reply;
            if (!initialSent) {
                reply = initial;
                initialSent = true;
            } else {
                reply = answer(step++, QByteArray::fromBase64(response.text.toLatin1()));
            }
            if (!reply) {
                send("*", QStringLiteral("*"));
                continue;
            }
            secrets_ << QString::fromLatin1(reply->toBase64());
            send(reply->toBase64(), reply->isEmpty() ? QString() : QStringLiteral("****"));
            continue;
        }
        if (response.kind == ImapResponse::Tagged) {
            if (response.tag != tag)
                fail(ImapError(ImapFailure::Protocol, QStringLiteral("The IMAP server answered a command never sent."),
                               name));
            if (response.status != "OK") refused(name, response);
            result.tagged = response;
            takeUntagged(response);
            return result;
        }
        takeUntagged(response);
        result.untagged << response;
    }
}

QString ImapClient::signInWithPassword() {
    requireTls("password");
    const QByteArray user = credentials_.userName.toUtf8();
    const QByteArray password = credentials_.password.toUtf8();
    if (hasCapability("AUTH=PLAIN")) {
        const QByteArray message = QByteArray(1, '\0') + user + '\0' + password;
        // A server that asks again gets the same message; anything more is not PLAIN.
        authenticate("PLAIN", message, [](int, const QByteArray&) { return std::optional<QByteArray>(); });
        capabilitiesAfterSignIn();
        return QStringLiteral("PLAIN");
    }
    if (hasCapability("LOGINDISABLED"))
        fail(ImapError(ImapFailure::SignIn,
                       QStringLiteral("The IMAP server takes no password sign-in (no AUTH=PLAIN, LOGIN disabled)."),
                       QStringLiteral("LOGIN")));
    run(QStringLiteral("LOGIN"), {Part{"LOGIN"}, stringArgument(user), stringArgument(password, true)}, 0);
    capabilitiesAfterSignIn();
    return QStringLiteral("LOGIN");
}

QString ImapClient::signInWithBearer() {
    requireTls("OAuth 2.0 access token");
    QStringList offered;
    for (const QByteArray& c : capabilities_)
        if (c.startsWith("AUTH=") || c.startsWith("auth=")) offered << QString::fromLatin1(c.mid(5)).toUpper();
    const QString mechanism = bearerMechanismFor(offered);
    if (mechanism.isEmpty())
        fail(ImapError(ImapFailure::SignIn,
                       QStringLiteral("The IMAP server offers neither OAUTHBEARER nor XOAUTH2, so it cannot take an "
                                      "OAuth 2.0 access token."),
                       QStringLiteral("AUTHENTICATE")));
    for (int attempt = 0;; ++attempt) {
        // A refused token may only have expired: it is renewed once and offered again.
        const QString token = credentials_.bearer->accessToken(attempt > 0);
        secrets_ << token;
        BearerCredentials bearer{
            credentials_.bearer->userName.isEmpty() ? credentials_.userName : credentials_.bearer->userName, token,
            endpoint_.host, endpoint_.port};
        std::unique_ptr<SaslBearerMechanism> sasl;
        if (mechanism == QLatin1String("OAUTHBEARER")) sasl = std::make_unique<SaslOauthBearer>(bearer);
        else sasl = std::make_unique<SaslXoauth2>(bearer);
        const QByteArray initial = sasl->initialResponse({}).value_or(QByteArray());
        try {
            authenticate(mechanism.toLatin1(), initial,
                         [&](int step, const QByteArray& challenge) { return sasl->answer(step, challenge, {}); });
            capabilitiesAfterSignIn();
            return mechanism;
        } catch (const ImapError& error) {
            if (error.failure() != ImapFailure::Refused || error.status() != QLatin1String("NO") || attempt > 0) {
                if (!sasl->refusal()) throw;
                throw ImapError(
                    error.failure(),
                    error.message() + QStringLiteral(" (token status %1%2)")
                                          .arg(sasl->refusal()->status,
                                               sasl->refusal()->scope.isEmpty()
                                                   ? QString()
                                                   : QStringLiteral(", scope wanted: ") + sasl->refusal()->scope),
                    error.command(), error.status(), error.responseCode());
            }
        }
    }
}

void ImapClient::capabilitiesAfterSignIn() {
    // Servers offer more once signed in (MOVE, UIDPLUS); most say so in the answer itself.
    if (!capabilitiesFresh_) readCapabilities();
}

QByteArray ImapClient::hierarchyDelimiter() {
    if (delimiter_) return *delimiter_;
    // LIST "" "" names no mailbox: it gives the separator of the root (RFC 3501 6.3.8).
    const Result result = runSimple(QStringLiteral("LIST"), "LIST \"\" \"\"");
    QByteArray delimiter;
    for (const ImapResponse& r : result.untagged)
        if (r.name == "LIST" && r.values.size() >= 2 && r.values[1].kind == ImapValue::String)
            delimiter = r.values[1].text;
    delimiter_ = delimiter;
    return delimiter;
}

QByteArray ImapClient::serverName(const QString& folder) {
    const QStringList levels = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (levels.isEmpty())
        fail(ImapError(ImapFailure::Protocol, QStringLiteral("The folder name \"%1\" is empty.").arg(folder)));
    if (levels.size() == 1) {
        // INBOX is the one name the protocol does not spell the server's way.
        if (levels[0].compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0) return "INBOX";
        return encodeMailboxName(levels[0]);
    }
    const QByteArray delimiter = hierarchyDelimiter();
    if (delimiter.isEmpty())
        fail(ImapError(ImapFailure::Protocol,
                       QStringLiteral("The IMAP server has no folders within folders, so \"%1\" cannot exist there: "
                                      "name a folder without \"/\".")
                           .arg(folder),
                       QStringLiteral("LIST")));
    QByteArray name;
    for (const QString& level : levels) {
        const QByteArray encoded = level.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0 && name.isEmpty()
                                       ? QByteArray("INBOX")
                                       : encodeMailboxName(level);
        if (encoded.contains(delimiter))
            fail(ImapError(ImapFailure::Protocol,
                           QStringLiteral("The folder name \"%1\" holds \"%2\", which this IMAP server uses between "
                                          "folder levels: write the levels with \"/\" and none of \"%2\".")
                               .arg(folder, QString::fromLatin1(delimiter)),
                           QStringLiteral("LIST")));
        if (!name.isEmpty()) name += delimiter;
        name += encoded;
    }
    return name;
}

ImapFolderState ImapClient::select(const QString& folder, bool readOnly) {
    const QByteArray name = serverName(folder);
    const QString command = readOnly ? QStringLiteral("EXAMINE") : QStringLiteral("SELECT");
    selected_.clear();
    const Result result = run(command, {Part{command.toLatin1()}, stringArgument(name)}, 0);
    ImapFolderState state;
    for (const ImapResponse& r : result.untagged) {
        quint64 number = 0;
        bool ok = false;
        if (r.name == "EXISTS" && r.hasNumber) state.exists = r.number;
        if (r.status == "OK" && (r.code == "UIDVALIDITY" || r.code == "UIDNEXT")) {
            number = r.codeArguments.toULongLong(&ok);
            if (ok) (r.code == "UIDVALIDITY" ? state.uidValidity : state.uidNext) = number;
        }
    }
    state.readOnly = readOnly || result.tagged.code == "READ-ONLY";
    // Without it, a UID remembered from an earlier reading could name another message today.
    if (state.uidValidity == 0)
        fail(ImapError(ImapFailure::Protocol,
                       QStringLiteral("The IMAP server gave no UIDVALIDITY for \"%1\".").arg(folder), command));
    selected_ = folder;
    selectedReadOnly_ = state.readOnly;
    return state;
}

QList<quint64> ImapClient::searchUids(const QByteArray& criteria) {
    const Result result = runSimple(QStringLiteral("UID SEARCH"), "UID SEARCH " + criteria);
    QList<quint64> uids;
    for (const ImapResponse& r : result.untagged) {
        if (r.name != "SEARCH") continue;
        for (const ImapValue& v : r.values) {
            quint64 uid = 0;
            if (!v.toNumber(uid) || uid == 0)
                fail(ImapError(ImapFailure::Protocol,
                               QStringLiteral("The IMAP server answered UID SEARCH with \"%1\".")
                                   .arg(printableText(QString::fromLatin1(v.text))),
                               QStringLiteral("UID SEARCH")));
            uids << uid;
        }
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}

std::optional<QByteArray> ImapClient::fetchSection(quint64 uid, const QByteArray& section) {
    // PEEK: reading a message must never mark it read in the club's mailbox.
    const Result result =
        runSimple(QStringLiteral("UID FETCH"), "UID FETCH " + uidText(uid) + " (UID BODY.PEEK[" + section + "])",
                  timeouts_.fetchMs);
    const QByteArray wanted = "BODY[" + section + "]";
    for (const ImapResponse& r : result.untagged) {
        if (r.name != "FETCH" || r.values.size() != 1 || r.values[0].kind != ImapValue::List) continue;
        const QList<ImapValue>& items = r.values[0].items;
        quint64 seenUid = 0;
        std::optional<QByteArray> body;
        for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
            if (items[i].isAtom("UID")) items[i + 1].toNumber(seenUid);
            else if (items[i].isAtom(wanted.constData()))
                body = items[i + 1].kind == ImapValue::Nil ? QByteArray() : items[i + 1].text;
        }
        // Other FETCH responses (a flag changed by another client) may come unasked.
        if (seenUid == uid && body) return body;
    }
    return std::nullopt;
}

std::optional<QByteArray> ImapClient::fetchMessage(quint64 uid) { return fetchSection(uid, QByteArray()); }

std::optional<QByteArray> ImapClient::fetchHeader(quint64 uid) { return fetchSection(uid, "HEADER"); }

QByteArray ImapClient::ensureFolder(const QString& folder) {
    const QByteArray full = serverName(folder);
    const bool nested = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts).size() > 1;
    const QByteArray delimiter = nested ? hierarchyDelimiter() : QByteArray();
    const QList<QByteArray> levels = delimiter.isEmpty() ? QList<QByteArray>{full} : full.split(delimiter.front());
    QByteArray name;
    for (const QByteArray& level : levels) {
        if (!name.isEmpty()) name += delimiter;
        name += level;
        const Result listed = run(QStringLiteral("LIST"), {Part{"LIST \"\""}, stringArgument(name)}, 0);
        const bool exists = std::any_of(listed.untagged.begin(), listed.untagged.end(), [&](const ImapResponse& r) {
            if (r.name != "LIST" || r.values.size() < 3 || r.values[2].kind == ImapValue::Nil) return false;
            // The pattern's own wildcards could list other folders: only the exact name counts.
            const bool same = name == "INBOX" ? r.values[2].text.compare("INBOX", Qt::CaseInsensitive) == 0
                                              : r.values[2].text == name;
            const bool nonexistent = r.values[0].kind == ImapValue::List &&
                                     std::any_of(r.values[0].items.begin(), r.values[0].items.end(),
                                                 [](const ImapValue& f) { return f.isAtom("\\NonExistent"); });
            return same && !nonexistent;
        });
        if (exists) continue;
        try {
            run(QStringLiteral("CREATE"), {Part{"CREATE"}, stringArgument(name)}, 0);
            record(ImapTranscriptKind::Note, QStringLiteral("created folder %1").arg(decodeMailboxName(name)));
        } catch (const ImapError& error) {
            // Made meanwhile by another client: what was wanted exists.
            if (error.responseCode() != QLatin1String("ALREADYEXISTS")) throw;
        }
    }
    return full;
}

ImapMoveResult ImapClient::move(quint64 uid, const QString& folder) {
    if (selected_.isEmpty() || selectedReadOnly_)
        fail(ImapError(ImapFailure::Protocol,
                       QStringLiteral("A message can only be moved from a folder opened for writing."),
                       QStringLiteral("UID MOVE")));
    const QByteArray target = serverName(folder);
    const Part uidPart{uidText(uid)};
    // A server that says the folder is missing (TRYCREATE) gets it created, and the command once more.
    const auto intoFolder = [&](const QString& name, const QByteArray& command) {
        try {
            return run(name, {Part{command}, uidPart, stringArgument(target)}, 0);
        } catch (const ImapError& error) {
            if (error.responseCode() != QLatin1String("TRYCREATE")) throw;
        }
        ensureFolder(folder);
        return run(name, {Part{command}, uidPart, stringArgument(target)}, 0);
    };
    if (hasCapability("MOVE")) {
        intoFolder(QStringLiteral("UID MOVE"), "UID MOVE");
        return ImapMoveResult::Moved;
    }
    const Result copied = intoFolder(QStringLiteral("UID COPY"), "UID COPY");
    if (!hasCapability("UIDPLUS")) {
        // A plain EXPUNGE would also remove every message the club itself marked deleted.
        record(ImapTranscriptKind::Note,
               QStringLiteral("copied, not removed: the server has neither MOVE nor UIDPLUS"));
        return ImapMoveResult::CopiedNotRemoved;
    }
    // With UIDPLUS a copy that happened says so; without that word nothing was copied (the
    // message went meanwhile), and the original must not be marked for removal.
    if (copied.tagged.code != "COPYUID")
        fail(ImapError(ImapFailure::Protocol,
                       QStringLiteral("The IMAP server copied nothing for UID %1 (no COPYUID): the message was "
                                      "left where it is.")
                           .arg(uid),
                       QStringLiteral("UID COPY")));
    run(QStringLiteral("UID STORE"), {Part{"UID STORE"}, uidPart, Part{"+FLAGS.SILENT (\\Deleted)"}}, 0);
    run(QStringLiteral("UID EXPUNGE"), {Part{"UID EXPUNGE"}, uidPart}, 0);
    return ImapMoveResult::Moved;
}

void ImapClient::logout() noexcept {
    if (!channel_.isOpen()) return;
    try {
        runSimple(QStringLiteral("LOGOUT"), "LOGOUT");
    } catch (const std::exception&) {
        // The session ends either way.
    }
    channel_.close(true);
    selected_.clear();
}

}  // namespace velocast::mail
