// The opt-out on the marketing campaigns' messages, read back by Python's email package as a
// mail program reads it: the header's mailto link gives a request that names the member, the
// footer is the body's last paragraph, and the service campaigns carry neither.
#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

#include "mail/mime/message_composer.h"
#include "mail/unsubscribe/unsubscribe_token.h"
#include "outbox/sending/unsubscribe_marking.h"
#include "support/parsed_message.h"

using namespace velocast;

namespace {

const QByteArray kSecret(32, '\x5a');

QJsonObject composeAndParse(const UnsubscribeMarking& marking, const QString& campaign, const QString& body) {
    mail::MessageFields fields{QStringLiteral("academia@clube.com.br"),
                               QStringLiteral("Academia"),
                               QStringLiteral(" Maria <Maria.Silva@Exemplo.com.br>"),
                               QStringLiteral("Parabéns!"),
                               body,
                               {}};
    marking.mark(fields, campaign);
    mail::CompositionOptions options;
    options.date = QDateTime(QDate(2026, 12, 11), QTime(9, 0), QTimeZone(-3 * 3600));
    options.headerCharset = "UTF-8";
    return velocast::testing::parsedByPython(mail::composeMessage(fields, options).lines);
}

QStringList bodyLines(const QJsonObject& parsed) {
    QStringList out;
    for (const QJsonValue& v : parsed["parts"].toArray()[0].toObject()["text_lines"].toArray()) out << v.toString();
    // The empty line the composition always ends the text with is not the club's.
    if (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out;
}

}  // namespace

TEST(UnsubscribeMarking, MarketingCarriesARequestLinkAndTheFooterServiceMailNeither) {
    const QString footer = QStringLiteral("Não quer mais receber? Use o link de descadastro do seu e-mail.");
    const UnsubscribeMarking marking({true, {"ANIVERSARIANTE", "FIDELIDADE", "AUSENTES"}, footer}, kSecret);
    const QString body = QStringLiteral("Olá, Maria!\r\nFeliz aniversário.\r\n\r\n");
    const struct {
        const char* campaign;
        bool marketing;
    } cases[] = {{"ANIVERSARIANTE", true}, {"fidelidade", true}, {"AUSENTES", true},
                 {"INADIMPLENTES", false}, {"AVALIACAO", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.campaign);
        const QJsonObject parsed = composeAndParse(marking, QLatin1String(c.campaign), body);
        EXPECT_TRUE(parsed["defects"].toArray().isEmpty());
        const QStringList lines = bodyLines(parsed);
        if (!c.marketing) {
            EXPECT_TRUE(parsed["list_unsubscribe"].isNull());
            EXPECT_EQ(lines, (QStringList{"Olá, Maria!", "Feliz aniversário.", ""}));
            continue;
        }
        const QJsonObject link = parsed["list_unsubscribe"].toObject();
        EXPECT_EQ(link["scheme"].toString(), QStringLiteral("mailto"));
        EXPECT_EQ(link["to"].toString(), QStringLiteral("academia@clube.com.br"));
        // The subject a mail program sends back names the member, whoever sends it.
        EXPECT_EQ(mail::unsubscribeRequestAddress(link["subject"].toString(), kSecret),
                  QStringLiteral("maria.silva@exemplo.com.br"));
        EXPECT_FALSE(link["raw"].toString().contains(u' '));  // one unbroken header line
        EXPECT_EQ(lines, (QStringList{"Olá, Maria!", "Feliz aniversário.", "", footer}));
    }
}

TEST(UnsubscribeMarking, SwitchedOffOrWithoutKeyTheFooterStillGoes) {
    const QString footer = QStringLiteral("Para sair da lista, responda SAIR.");
    for (const auto& marking : {UnsubscribeMarking({false, {"ANIVERSARIANTE"}, footer}, kSecret),
                                UnsubscribeMarking({true, {"ANIVERSARIANTE"}, footer}, QByteArray())}) {
        const QJsonObject parsed = composeAndParse(marking, QStringLiteral("ANIVERSARIANTE"), QString());
        EXPECT_TRUE(parsed["list_unsubscribe"].isNull());
        EXPECT_EQ(bodyLines(parsed), QStringList{footer});
    }
    // Without a footer the club's text is left exactly as it was written.
    const QJsonObject parsed = composeAndParse(UnsubscribeMarking({true, {"ANIVERSARIANTE"}, {}}, kSecret),
                                               QStringLiteral("ANIVERSARIANTE"), QStringLiteral("Olá!\r\n\r\n"));
    EXPECT_FALSE(parsed["list_unsubscribe"].isNull());
    EXPECT_EQ(bodyLines(parsed), (QStringList{"Olá!", ""}));
}
