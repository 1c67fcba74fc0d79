#pragma once
// A small IMAP4rev1 client (RFC 3501, with MOVE and UIDPLUS where the server has them) for
// reading the club's own mailbox: always under TLS (implicit, or STARTTLS, and never on in
// clear), signed in with the password or an OAuth 2.0 access token, reading messages by UID
// without changing their flags, and moving only the message it is told to move.
//
// It knows nothing of the database or of velocast.conf: the caller hands it the server, the
// credentials and folder names. Folder names are written with "/" between levels whatever the
// server's own separator is. Every failure is an ImapError; the password and tokens never
// appear in an error or in the transcript.
#include "mail/imap/imap_channel.h"
#include "mail/imap/imap_error.h"
#include "mail/imap/imap_response.h"
#include "mail/smtp/bearer_authenticator.h"
#include "mail/smtp/tls_policy.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace velocast::mail {

enum class ImapTls {
    Implicit,  // TLS from the first byte (port 993)
    StartTls,  // plain greeting, then STARTTLS before anything else (port 143)
};

struct ImapEndpoint {
    QString host;
    quint16 port = 993;
    ImapTls tls = ImapTls::Implicit;
    TlsPolicy trust;  // the same policy as the SMTP server's: velocast.conf's [tls]
};

struct ImapCredentials {
    QString userName;
    QString password;
    // With a bearer sign-in only XOAUTH2/OAUTHBEARER are tried, never the password.
    std::optional<BearerSignIn> bearer;
};

// Connecting and the greeting are quick or never; a command's answer may wait for a server
// that searches a big mailbox; a whole message may be large on a slow line.
struct ImapTimeouts {
    int connectMs = 30000;  // TCP, the TLS handshake, the greeting
    int commandMs = 60000;  // each other command's whole answer
    int fetchMs = 10 * 60000;
};

struct ImapFolderState {
    quint64 uidValidity = 0;
    quint64 exists = 0;
    quint64 uidNext = 0;  // 0 when the server did not say
    bool readOnly = false;
};

enum class ImapMoveResult {
    Moved,             // the message is in the target folder and gone from this one
    CopiedNotRemoved,  // the server has neither MOVE nor UIDPLUS: a copy is in the target
                       // folder and the original stays, as removing it would also remove
                       // every other message marked deleted
};

enum class ImapTranscriptKind { Sent, Received, Note };
using ImapTranscriptObserver = std::function<void(ImapTranscriptKind kind, const QString& line)>;

class ImapClient {
public:
    ImapClient(ImapEndpoint endpoint, ImapCredentials credentials);
    ~ImapClient();
    ImapClient(const ImapClient&) = delete;
    ImapClient& operator=(const ImapClient&) = delete;

    void setTimeouts(const ImapTimeouts& timeouts) { timeouts_ = timeouts; }
    void setLimits(const ImapLimits& limits) { limits_ = limits; }
    void setTranscriptObserver(ImapTranscriptObserver observer) { observer_ = std::move(observer); }

    // TCP, TLS (implicit or STARTTLS), the greeting and the capabilities.
    void connect();
    // AUTHENTICATE PLAIN (initial response when SASL-IR is offered), else LOGIN; with a bearer
    // sign-in OAUTHBEARER or XOAUTH2, the token renewed once when refused. Returns the mechanism.
    QString signIn();
    // SELECT, or EXAMINE with readOnly (nothing can change, not even \Recent).
    ImapFolderState select(const QString& folder, bool readOnly = false);
    // UID SEARCH with the criteria as IMAP text ("ALL", "UNDELETED", "UID 10:*"), sorted.
    QList<quint64> searchUids(const QByteArray& criteria = "ALL");
    // The whole message (BODY.PEEK[]) or its header (BODY.PEEK[HEADER]); flags never change.
    // Nothing when the UID is not (or no longer) in the folder.
    std::optional<QByteArray> fetchMessage(quint64 uid);
    std::optional<QByteArray> fetchHeader(quint64 uid);
    // Creates the folder and any missing parent; nothing when it exists. Returns its name
    // as the server spells it.
    QByteArray ensureFolder(const QString& folder);
    // Moves one message of the selected folder (opened with select(folder, false)); a target
    // the server says is missing ([TRYCREATE]) is created first.
    ImapMoveResult move(quint64 uid, const QString& folder);
    // LOGOUT when connected (failures ignored), then closes.
    void logout() noexcept;

    bool isConnected() const { return channel_.isOpen(); }
    bool hasCapability(const QByteArray& capability) const;
    QList<QByteArray> capabilities() const { return capabilities_; }
    // The server's certificate check of the last handshake, passed or failed.
    const TlsPeerReport& tlsPeerReport() const { return channel_.peerReport(); }
    // The session so far, one line per command or response, secrets masked.
    const QStringList& transcript() const { return transcript_; }

private:
    struct Part {
        QByteArray bytes;
        bool literal = false;  // sent as {n} after the server's go-ahead
        bool secret = false;   // shown as **** in the transcript
    };
    struct Result {
        ImapResponse tagged;
        QList<ImapResponse> untagged;
    };
    Result run(const QString& name, const QList<Part>& parts, int timeoutMs);
    Result runSimple(const QString& name, const QByteArray& line, int timeoutMs = 0);
    Part stringArgument(const QByteArray& bytes, bool secret = false) const;
    ImapResponse readResponse(Deadline deadline, const QString& command);
    void takeUntagged(const ImapResponse& response);
    [[noreturn]] void refused(const QString& command, const ImapResponse& tagged);
    void requireTls(const char* what) const;
    void record(ImapTranscriptKind kind, const QString& line);
    QString scrub(QString text) const;
    void readCapabilities();
    QString signInWithPassword();
    QString signInWithBearer();
    void capabilitiesAfterSignIn();
    Result authenticate(const QByteArray& mechanism, const QByteArray& initial,
                        const std::function<std::optional<QByteArray>(int, const QByteArray&)>& answer);
    std::optional<QByteArray> fetchSection(quint64 uid, const QByteArray& section);
    QByteArray serverName(const QString& folder);
    QByteArray hierarchyDelimiter();
    [[noreturn]] void fail(ImapError error);

    ImapEndpoint endpoint_;
    ImapCredentials credentials_;
    ImapTimeouts timeouts_;
    ImapLimits limits_;
    ImapTranscriptObserver observer_;
    ImapChannel channel_;
    QList<QByteArray> capabilities_;
    QStringList transcript_;
    QStringList secrets_;  // what was sent for the password or the token, masked wherever it shows
    std::optional<QByteArray> delimiter_;
    int nextTag_ = 1;
    bool capabilitiesFresh_ = false;
    QString selected_;
    bool selectedReadOnly_ = false;
};

}  // namespace velocast::mail
