// The opt-out tokens: what a request's subject must hold to remove an address, and the header
// that tells a member's mail program where to send it.
#include "mail/unsubscribe/unsubscribe_token.h"

#include <QUrl>
#include <gtest/gtest.h>

using namespace velocast::mail;

namespace {

const QByteArray kSecret = QByteArray::fromHex("8f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778899aabbccddeeff0");
const QString kMember = QStringLiteral("Socio.Um@Exemplo.com.br");

// One character of the MAC changed into another base32 character.
QString altered(QString subject) {
    const qsizetype i = subject.indexOf(QLatin1String(kUnsubscribePrefix)) + qsizetype(sizeof kUnsubscribePrefix) + 3;
    subject[i] = subject[i] == u'a' ? u'b' : u'a';
    return subject;
}

}  // namespace

TEST(UnsubscribeToken, IsTheMacOfTheNormalisedAddressUnderTheSecret) {
    const QString token = unsubscribeToken(kSecret, kMember);
    ASSERT_TRUE(token.startsWith(QLatin1String("velocast-unsubscribe-")));
    const QString mac = token.mid(int(sizeof kUnsubscribePrefix) - 1);
    EXPECT_EQ(mac.size(), kUnsubscribeMacLength);
    for (const QChar c : mac)
        EXPECT_TRUE(QStringLiteral("abcdefghijklmnopqrstuvwxyz234567").contains(c)) << int(c.unicode());
    // The same member however the club's table wrote the address; another address, scope or
    // club gives another MAC.
    EXPECT_EQ(unsubscribeToken(kSecret, QStringLiteral("  socio.um@exemplo.COM.BR\t")), token);
    EXPECT_NE(unsubscribeToken(kSecret, QStringLiteral("socio.dois@exemplo.com.br")), token);
    EXPECT_NE(unsubscribeToken(kSecret, kMember, QStringLiteral("all")), token);
    QByteArray otherClub = kSecret;
    otherClub[0] = '\x00';
    EXPECT_NE(unsubscribeToken(otherClub, kMember), token);
}

TEST(UnsubscribeToken, RequestSubjectsAreRecognisedOnlyWhenTheirMacFitsTheirAddress) {
    const QString own = unsubscribeRequestSubject(kSecret, kMember);
    const QString other = unsubscribeRequestSubject(kSecret, QStringLiteral("socio.dois@exemplo.com.br"));
    const QString otherMac = other.section(u' ', 0, 0);
    const struct {
        const char* what;
        QString subject;
        std::optional<QString> address;
    } cases[] = {
        {"as the header asks", own, QStringLiteral("socio.um@exemplo.com.br")},
        {"upper case", own.toUpper(), QStringLiteral("socio.um@exemplo.com.br")},
        {"a reply", QStringLiteral("Re: ") + own, QStringLiteral("socio.um@exemplo.com.br")},
        {"a forward", QStringLiteral("Fwd: RES: ") + own + QStringLiteral(" "),
         QStringLiteral("socio.um@exemplo.com.br")},
        {"the address in brackets", own.section(u' ', 0, 0) + QStringLiteral(" <socio.um@exemplo.com.br>"),
         QStringLiteral("socio.um@exemplo.com.br")},
        {"two tokens, the second right", otherMac + QStringLiteral(" x@y ") + own,
         QStringLiteral("socio.um@exemplo.com.br")},
        {"one character altered", altered(own), std::nullopt},
        {"another address's MAC", otherMac + QStringLiteral(" socio.um@exemplo.com.br"), std::nullopt},
        {"another club's MAC", unsubscribeRequestSubject(QByteArray(32, 'k'), kMember), std::nullopt},
        {"the MAC cut short", own.section(u' ', 0, 0).chopped(1) + QStringLiteral(" socio.um@exemplo.com.br"),
         std::nullopt},
        {"the MAC run on", own.section(u' ', 0, 0) + QStringLiteral("a socio.um@exemplo.com.br"), std::nullopt},
        {"no address", own.section(u' ', 0, 0), std::nullopt},
        {"nothing of ours", QStringLiteral("Re: Feliz aniversário!"), std::nullopt},
        {"empty", QString(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unsubscribeRequestAddress(c.subject, kSecret), c.address)
            << c.what << ": " << c.subject.toStdString();
    // Without a secret nothing is ever recognised.
    EXPECT_EQ(unsubscribeRequestAddress(own, QByteArray()), std::nullopt);
}

TEST(UnsubscribeToken, HeaderValueIsAMailtoUriThatGivesBackMailboxAndSubject) {
    const struct {
        QString mailbox, subject;
        QByteArray value;
    } cases[] = {
        {"academia@clube.com.br", "velocast-unsubscribe-abc socio@x.br",
         "<mailto:academia@clube.com.br?subject=velocast-unsubscribe-abc%20socio%40x.br>"},
        // What could end the URI, the query or the header is encoded.
        {" a+b&c=d?e@clube.com.br ", "x>y,z\r\n#%",
         "<mailto:a%2Bb%26c%3Dd%3Fe@clube.com.br?subject=x%3Ey%2Cz%0D%0A%23%25>"},
        {"recepção@clube.com.br", "ç", "<mailto:recep%C3%A7%C3%A3o@clube.com.br?subject=%C3%A7>"},
    };
    for (const auto& c : cases) {
        const QByteArray value = listUnsubscribeValue(c.mailbox, c.subject);
        EXPECT_EQ(value, c.value);
        const QUrl url(QString::fromLatin1(value.mid(1, value.size() - 2)));
        EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
        EXPECT_EQ(url.path(QUrl::FullyDecoded), c.mailbox.trimmed());
        EXPECT_EQ(QUrl::fromPercentEncoding(url.query(QUrl::FullyEncoded).mid(8).toLatin1()), c.subject);
    }
}
