#pragma once
// The opt-out a member's mail program offers as an "Unsubscribe" button: the marketing
// messages carry a List-Unsubscribe header whose mailto link sends the club's own mailbox a
// message with a subject that names the member's address and proves, with a MAC under the
// club's secret, that the club wrote it. The request may come from any address (a forward,
// an alias, a shared mailbox), so the subject itself says whose opt-out it is; nobody without
// the secret can make one for an address, and a token made for one address fails for another.
#include <QByteArray>
#include <QString>
#include <optional>

namespace velocast::mail {

// What stands before the MAC in a request's subject.
inline constexpr char kUnsubscribePrefix[] = "velocast-unsubscribe-";
// The scope of the campaigns an opt-out stops (the service mail goes on).
inline constexpr char kMarketingScope[] = "marketing";
// The length of the MAC in base32 characters: 130 bits, short enough for one header line.
inline constexpr int kUnsubscribeMacLength = 26;

// An address as the opt-out compares it: surrounding blanks removed, lower case.
QString normalUnsubscribeAddress(const QString& address);

// "velocast-unsubscribe-" and the MAC (HMAC-SHA-256 under `secret`) of the scope and the
// address (normalised), in base32 lower case.
QString unsubscribeToken(const QByteArray& secret, const QString& address,
                         const QString& scope = QLatin1String(kMarketingScope));

// The subject of a request for `address`: its token, a blank, the address (normalised).
QString unsubscribeRequestSubject(const QByteArray& secret, const QString& address);

// The address whose marketing opt-out `subject` asks for (a decoded Subject, with whatever
// "Re:" or "Fwd:" a mail program put before it); nothing when the subject holds no request
// whose MAC is right for the address it names. Letter case does not matter: base32 and
// addresses have none that counts. The MAC is compared in constant time.
std::optional<QString> unsubscribeRequestAddress(const QString& subject, const QByteArray& secret);

// The List-Unsubscribe header's value, "<mailto:MAILBOX?subject=SUBJECT>", with everything
// but letters, digits, "-", ".", "_", "~" and the address's "@" percent-encoded (UTF-8), so
// that no character of either can end the URI or the header early.
QByteArray listUnsubscribeValue(const QString& mailbox, const QString& subject);

}  // namespace velocast::mail
