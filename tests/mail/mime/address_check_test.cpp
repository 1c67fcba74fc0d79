// The address check as one table: every rule, its position quirks and the forbidden set.
#include "mail/mime/address_check.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

using velocast::mail::ValidaEMail;

TEST(AddressCheck, Rules) {
    struct Case {
        const char* address;  // UTF-8
        bool valid;
        const char* why;
    };
    const Case cases[] = {
        {"socio@exemplo.com.br", true, "ordinary address"},
        {"joão.silva@academia.com", true, "accented letters and an inner dot"},
        {"a@b.c", true, "one-character labels"},
        {"maria-souza@club-fit.com.br", true, "hyphens away from the @"},
        {"o'neil\"x\\@dominio.br", true, "apostrophe, double quote, backslash"},
        {"", true, "empty: the sender rejects it itself"},
        {"socio.exemplo.com", false, "no @"},
        {"socio@exemplo", false, "no dot"},
        {"@exemplo.com", false, "begins with @"},
        {"socio.x@", false, "first @ is the last character"},
        {".socio@exemplo.com", false, "begins with a dot"},
        {"socio@exemplo.", false, "its first dot is the last character"},
        {"socioexemplo@com.br.", false, "ends with a dot"},
        {"socio.@exemplo.com", false, "dot right before the @"},
        {"socio@.exemplo.com", false, "dot right after the @"},
        {"a.b@c@d.com", false, "two @"},
        {"a..b@exemplo.com", false, "two dots in a row in the local part"},
        {"ab@exemplo..com", false, "two dots in a row in the domain"},
        {"socio@comercial.com.br", false, "domain begins with com"},
        {"socio@com.br", false, "domain is a bare com"},
        {"comercio@comercial.com.br", true, "an earlier com in the local part"},
        {"socio@exemplo.com", true, "com after a dot"},
        {"socio-@exemplo.com", false, "first - right before the @"},
        {"socio@-exemplo.com", false, "first - right after the @"},
        {"a-b-@exemplo.com", true, "an earlier - in the local part"},
        {"socio@ex-emplo.com", true, "- inside the domain"},
        {"socio_@exemplo.com", false, "first _ right before the @"},
        {"socio@_exemplo.com", false, "first _ right after the @"},
        {"a_b_@exemplo.com", true, "an earlier _ in the local part"},
        {"-socio@exemplo.com", false, "begins with -"},
        {"_socio@exemplo.com", false, "begins with _"},
        {"so cio@exemplo.com", false, "inner space"},
        {"conceição@exemplo.com", false, "ç"},
        {"CONCEIÇÃO@exemplo.com", false, "Ç"},
        {"socio+tag@exemplo.com", false, "+"},
        {"a@x.com,b@y.com", false, "two addresses joined by a comma"},
        {"a@x.com;b@y.com", false, "two addresses joined by a semicolon"},
        {"иван@пример.рф", false, "Cyrillic becomes ? in Windows-1252"},
        {"jose@dominio.com\xE2\x82\xAC", true, "the euro sign exists in Windows-1252"},
        {"socio\r\n@exemplo.com", false, "CR LF: control characters are refused"},
        {"so\tcio@exemplo.com", false, "tab"},
        {"socio@exemplo.com\x7F", false, "DEL"},
        {"socio@exem\x01plo.com", false, "other control character"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValidaEMail(QString::fromUtf8(c.address)), c.valid) << c.address << " (" << c.why << ")";

    // The longest address and local part a server must take pass; one more character fails.
    const QString local64(64, u'a');
    const QString domain189 = QString(185, u'd') + QStringLiteral(".com");
    struct Length {
        QString address;
        bool valid;
    };
    for (const Length& c : {Length{local64 + "@exemplo.com", true}, Length{local64 + "a@exemplo.com", false},
                            Length{local64 + "@" + domain189, true}, Length{local64 + "@d" + domain189, false},
                            Length{"socio@" + QString(100000, u'd') + ".com", false}})
        EXPECT_EQ(ValidaEMail(c.address), c.valid) << c.address.size();

    // Each character of the forbidden set alone spoils an otherwise good address.
    const QString forbidden = QString::fromUtf8("!#$%&*()+=`,;:<>~^?/|[]{}¨§¬¢£´°¹²³ºªçÇ");
    ASSERT_EQ(forbidden.size(), 39);
    for (QChar c : forbidden)
        EXPECT_FALSE(ValidaEMail("so" + QString(c) + "cio@exemplo.com.br")) << QString(c).toStdString();
}
