// The SASL mechanisms against the RFCs' own examples and test vectors.
#include "mail/sasl/otp_password.h"
#include "mail/sasl/sasl_bearer.h"
#include "mail/sasl/sasl_cram.h"
#include "mail/sasl/sasl_digest_md5.h"
#include "mail/sasl/sasl_one_time.h"
#include "mail/sasl/sasl_simple.h"

#include <gtest/gtest.h>

using namespace velocast::mail;

TEST(SaslMechanisms, CramMd5AndCramSha1) {
    // RFC 2195, section 2.
    SaslCram md5(SaslCram::Digest::Md5);
    EXPECT_EQ(md5.answer(0, "<1896.697170952@postoffice.reston.mci.net>", {"tim", "tanstaaftanstaaf"}),
              QByteArray("tim b913a602c7eda7a495b4e6e7334d3890"));
    // RFC 2202 test case 2 for HMAC-SHA1 (key "Jefe").
    SaslCram sha1(SaslCram::Digest::Sha1);
    EXPECT_EQ(sha1.answer(0, "what do ya want for nothing?", {"u", "Jefe"}),
              QByteArray("u effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"));
}

TEST(SaslMechanisms, DigestMd5FollowsTheRfc2831Example) {
    SaslDigestMd5 digest(QStringLiteral("elwood.innosoft.com"), QStringLiteral("imap"),
                         [] { return QByteArray("OA6MHXh6VqTrRk"); });
    const SaslCredentials chris{QStringLiteral("chris"), QStringLiteral("secret")};
    EXPECT_EQ(
        digest.answer(
            0, R"(realm="elwood.innosoft.com",nonce="OA6MG9tEQGm2hh",qop="auth",algorithm=md5-sess,charset=utf-8)",
            chris),
        QByteArray(
            R"(charset=utf-8,username="chris",realm="elwood.innosoft.com",nonce="OA6MG9tEQGm2hh",nc=00000001,cnonce="OA6MHXh6VqTrRk",digest-uri="imap/elwood.innosoft.com",response=d388dad90d4bbd760a152321f2143af7,qop=auth)"));
    EXPECT_EQ(digest.problem().isEmpty(), false);  // the server has not proven itself yet
    EXPECT_EQ(digest.answer(1, "rspauth=ea40f60335c427b5527b84dbabcdfffd", chris), QByteArray(""));
    EXPECT_EQ(digest.problem(), QString());
    EXPECT_EQ(digest.answer(0, "garbage", chris), std::nullopt);  // no nonce: the exchange is cancelled
}

// The server's rspauth proves it knows the password: a wrong one, or one before the client's
// response, cancels, and the mechanism says why.
TEST(SaslMechanisms, DigestMd5RefusesAWrongOrEarlyRspauth) {
    const SaslCredentials chris{QStringLiteral("chris"), QStringLiteral("secret")};
    const QByteArray challenge = R"(realm="elwood.innosoft.com",nonce="OA6MG9tEQGm2hh",qop="auth")";
    SaslDigestMd5 wrong(QStringLiteral("elwood.innosoft.com"));
    ASSERT_TRUE(wrong.answer(0, challenge, chris));
    EXPECT_EQ(wrong.answer(1, "rspauth=ea40f60335c427b5527b84dbabcdfffd", chris), std::nullopt);
    EXPECT_TRUE(wrong.problem().contains(QLatin1String("rspauth does not match"))) << wrong.problem().toStdString();
    SaslDigestMd5 early(QStringLiteral("elwood.innosoft.com"));
    EXPECT_EQ(early.answer(0, "rspauth=ea40f60335c427b5527b84dbabcdfffd", chris), std::nullopt);
}

TEST(SaslMechanisms, PlainLoginAndTextAsOneBytePerCharacter) {
    const SaslCredentials c{QStringLiteral("Jos\u00e9"), QStringLiteral("p\u20acss")};
    EXPECT_EQ(SaslPlain().initialResponse(c), QByteArray("\0Jos\xe9\0p?ss", 10));
    SaslLogin login;
    EXPECT_EQ(login.initialResponse(c), QByteArray("Jos\xe9"));
    EXPECT_EQ(login.answer(0, "Password:", c), QByteArray("p?ss"));
    EXPECT_EQ(login.answer(0, "Username:", c), QByteArray("Jos\xe9"));  // initial response ignored
}

TEST(SaslMechanisms, OneTimePasswordsMatchRfc2289Vectors) {
    struct Vector {
        OtpHash hash;
        const char* passPhrase;
        const char* seed;
        int count;
        const char* hex;
        const char* words;
    };
    const Vector vectors[] = {
        {OtpHash::Md4, "This is a test.", "TeSt", 0, "D1854218EBBB0B51", "ROME MUG FRED SCAN LIVE LACE"},
        {OtpHash::Md4, "This is a test.", "TeSt", 1, "63473EF01CD0B444", "CARD SAD MINI RYE COL KIN"},
        {OtpHash::Md4, "This is a test.", "TeSt", 99, "C5E612776E6C237A", "NOTE OUT IBIS SINK NAVE MODE"},
        {OtpHash::Md4, "AbCdEfGhIjK", "alpha1", 0, "50076F47EB1ADE4E", "AWAY SEN ROOK SALT LICE MAP"},
        {OtpHash::Md4, "AbCdEfGhIjK", "alpha1", 1, "65D20D1949B5F7AB", "CHEW GRIM WU HANG BUCK SAID"},
        {OtpHash::Md4, "AbCdEfGhIjK", "alpha1", 99, "D150C82CCE6F62D1", "ROIL FREE COG HUNK WAIT COCA"},
        {OtpHash::Md4, "OTP's are good", "correct", 0, "849C79D4F6F55388", "FOOL STEM DONE TOOL BECK NILE"},
        {OtpHash::Md4, "OTP's are good", "correct", 1, "8C0992FB250847B1", "GIST AMOS MOOT AIDS FOOD SEEM"},
        {OtpHash::Md4, "OTP's are good", "correct", 99, "3F3BF4B4145FD74B", "TAG SLOW NOV MIN WOOL KENO"},
        {OtpHash::Md5, "This is a test.", "TeSt", 0, "9E876134D90499DD", "INCH SEA ANNE LONG AHEM TOUR"},
        {OtpHash::Md5, "This is a test.", "TeSt", 1, "7965E05436F5029F", "EASE OIL FUM CURE AWRY AVIS"},
        {OtpHash::Md5, "This is a test.", "TeSt", 99, "50FE1962C4965880", "BAIL TUFT BITS GANG CHEF THY"},
        {OtpHash::Md5, "AbCdEfGhIjK", "alpha1", 0, "87066DD9644BF206", "FULL PEW DOWN ONCE MORT ARC"},
        {OtpHash::Md5, "AbCdEfGhIjK", "alpha1", 1, "7CD34C1040ADD14B", "FACT HOOF AT FIST SITE KENT"},
        {OtpHash::Md5, "AbCdEfGhIjK", "alpha1", 99, "5AA37A81F212146C", "BODE HOP JAKE STOW JUT RAP"},
        {OtpHash::Md5, "OTP's are good", "correct", 0, "F205753943DE4CF9", "ULAN NEW ARMY FUSE SUIT EYED"},
        {OtpHash::Md5, "OTP's are good", "correct", 1, "DDCDAC956F234937", "SKIM CULT LOB SLAM POE HOWL"},
        {OtpHash::Md5, "OTP's are good", "correct", 99, "B203E28FA525BE47", "LONG IVY JULY AJAR BOND LEE"},
        {OtpHash::Md5, "A_Valid_Pass_Phrase", "AValidSeed", 99, "85C43EE03857765B", "FOWL KID MASH DEAD DUAL OAF"},
        {OtpHash::Sha1, "This is a test.", "TeSt", 0, "BB9E6AE1979D8FF4", "MILT VARY MAST OK SEES WENT"},
        {OtpHash::Sha1, "This is a test.", "TeSt", 1, "63D936639734385B", "CART OTTO HIVE ODE VAT NUT"},
        {OtpHash::Sha1, "This is a test.", "TeSt", 99, "87FEC7768B73CCF9", "GAFF WAIT SKID GIG SKY EYED"},
        {OtpHash::Sha1, "AbCdEfGhIjK", "alpha1", 0, "AD85F658EBE383C9", "LEST OR HEEL SCOT ROB SUIT"},
        {OtpHash::Sha1, "AbCdEfGhIjK", "alpha1", 1, "D07CE229B5CF119B", "RITE TAKE GELD COST TUNE RECK"},
        {OtpHash::Sha1, "AbCdEfGhIjK", "alpha1", 99, "27BC71035AAF3DC6", "MAY STAR TIN LYON VEDA STAN"},
        {OtpHash::Sha1, "OTP's are good", "correct", 0, "D51F3E99BF8E6F0B", "RUST WELT KICK FELL TAIL FRAU"},
        {OtpHash::Sha1, "OTP's are good", "correct", 1, "82AEB52D943774E4", "FLIT DOSE ALSO MEW DRUM DEFY"},
        {OtpHash::Sha1, "OTP's are good", "correct", 99, "4F296A74FE1567EC", "AURA ALOE HURL WING BERG WAIT"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.words);
        const QByteArray password = otpPassword(v.hash, QByteArray(v.seed).toLower(), v.passPhrase, v.count);
        EXPECT_EQ(otpHex(password), QString::fromLatin1(v.hex).toLower());
        EXPECT_EQ(otpSixWords(password), QLatin1String(v.words));
    }
}

TEST(SaslMechanisms, OtpAndSkeyExchanges) {
    // RFC 2444, section 5: user "tim", pass phrase "This is a test.".
    SaslOtp otp;
    const SaslCredentials tim{QStringLiteral("tim"), QStringLiteral("This is a test.")};
    EXPECT_EQ(otp.initialResponse(tim), QByteArray("\0tim", 4));
    EXPECT_EQ(otp.answer(0, "otp-md5 499 ke1234 ext", tim), QByteArray("word:BOND FOGY DRAB NE RISE MART"));
    EXPECT_EQ(otp.answer(0, "otp-md5 499 KE1234", tim), QByteArray("BOND FOGY DRAB NE RISE MART"));
    // RFC 2444's SHA-1 example ("hex:c90fc02cc488df5e") skips the little-endian step that
    // RFC 2289 Appendix A requires and its own vectors (above) follow; those win.
    EXPECT_EQ(otp.answer(0, "otp-sha1 499 ke1234 ext", tim),
              "word:" + otpSixWords(QByteArray::fromHex("1ef48366d04873e0")).toLatin1());
    EXPECT_EQ(otp.answer(0, "otp-md5 123 ke1234 ext", {QStringLiteral("tim"), QStringLiteral("this is a test")}),
              "word:" + otpSixWords(QByteArray::fromHex("11d4c147e227c1f1")).toLatin1());
    EXPECT_EQ(otp.answer(0, "otp-rot13 499 ke1234 ext", tim), std::nullopt);  // unknown hash: cancel

    // S/KEY (RFC 2222): user name first, then "<count> <seed>", answered in six words of MD4.
    SaslSkey skey;
    EXPECT_EQ(skey.initialResponse(tim), QByteArray("tim"));
    EXPECT_EQ(skey.answer(0, "99 test", tim), QByteArray("NOTE OUT IBIS SINK NAVE MODE"));
}

TEST(SaslMechanisms, BearerTokensAsXoauth2AndOauthBearerByteForByte) {
    // RFC 7628, section 4.1.
    const BearerCredentials rfc{QStringLiteral("user@example.com"),
                                QStringLiteral("vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="),
                                QStringLiteral("server.example.com"), 143};
    EXPECT_EQ(SaslOauthBearer(rfc).initialResponse({}),
              QByteArray("n,a=user@example.com,\x01host=server.example.com\x01port=143\x01"
                         "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01"));
    // The GS2 authorization identity escapes "," and "=" (RFC 5801 saslname).
    const BearerCredentials odd{QStringLiteral("a,b=c@club.test"), QStringLiteral("t"), QStringLiteral("h"), 587};
    EXPECT_TRUE(SaslOauthBearer(odd).initialResponse({})->startsWith("n,a=a=2Cb=3Dc@club.test,\x01"));
    // Google's XOAUTH2 example.
    EXPECT_EQ(SaslXoauth2({QStringLiteral("someuser@example.com"),
                           QStringLiteral("ya29.vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg"), QString(), 0})
                  .initialResponse({}),
              QByteArray("user=someuser@example.com\x01"
                         "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg\x01\x01"));

    // The error challenge is read, and answered so that the server can finish: an empty line
    // for XOAUTH2, a lone ^A for OAUTHBEARER.
    SaslXoauth2 xoauth2(odd);
    EXPECT_EQ(xoauth2.answer(0, R"({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})", {}),
              QByteArray());
    ASSERT_TRUE(xoauth2.refusal());
    EXPECT_EQ(xoauth2.refusal()->status, QStringLiteral("401"));
    EXPECT_EQ(xoauth2.refusal()->scope, QStringLiteral("https://mail.google.com/"));
    SaslOauthBearer bearer(odd);
    EXPECT_EQ(bearer.answer(0, R"({"status":"invalid_token"})", {}), QByteArray("\x01"));
    EXPECT_EQ(bearer.refusal()->status, QStringLiteral("invalid_token"));
    EXPECT_FALSE(SaslXoauth2({QStringLiteral("u"), QString(), QString(), 0}).isReady({}, false));  // no token, no start
}

// The count is the server's: above 9,999 iterations the exchange is cancelled at once.
TEST(SaslMechanisms, OneTimeCountsAboveTheCapAreRefused) {
    const SaslCredentials tim{QStringLiteral("tim"), QStringLiteral("This is a test.")};
    SaslOtp otp;
    EXPECT_TRUE(otp.answer(0, "otp-md5 9999 ke1234", tim).has_value());
    EXPECT_EQ(otp.problem(), QString());
    for (const char* challenge : {"otp-md5 10000 ke1234", "otp-sha1 2147483647 ke1234", "otp-md5 99999999999 ke1234"}) {
        SaslOtp capped;
        EXPECT_EQ(capped.answer(0, challenge, tim), std::nullopt) << challenge;
        EXPECT_TRUE(capped.problem().contains(QLatin1String("counts above 9999 are refused")))
            << capped.problem().toStdString();
    }
    SaslSkey skey;
    EXPECT_EQ(skey.answer(0, "2147483647 test", tim), std::nullopt);
    EXPECT_TRUE(skey.problem().startsWith(QLatin1String("SKEY: the server asked for 2147483647 iterations")));
}
