// The MIME reader on messages as mailboxes hold them: structure, header text, parameters,
// transfer encodings, and input built to exhaust or confuse it.
#include "mail/mime/mime_reader.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "support/qt_printers.h"
#include "support/source_tree.h"

namespace velocast::mail {
namespace {

// "type/subtype" of every entity, multipart parts in [], an enclosed message in {}.
QString shape(const MimeEntity& e) {
    QString s = QString::fromLatin1(e.contentType.type + '/' + e.contentType.subtype);
    if (!e.parts.empty()) {
        QStringList parts;
        for (const MimeEntity& p : e.parts) parts << shape(p);
        s += QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    if (!e.enclosed.empty()) s += QLatin1Char('{') + shape(e.enclosed.front()) + QLatin1Char('}');
    return s;
}

QByteArray crlf(QByteArray text) { return text.replace("\n", "\r\n"); }

TEST(MimeReader, NestedStructureWithPreambleEpilogueAndEnclosedMessage) {
    const QByteArray raw =
        "From: a@example.com\n"
        "Content-Type: multipart/mixed; boundary=\"outer\"\n"
        "\n"
        "preamble, ignored\n"
        "--outer\n"
        "Content-Type: multipart/alternative; boundary=inner\n"
        "\n"
        "--inner\n"
        "\n"
        "plain text\n"
        "--inner\n"
        "Content-Type: text/html\n"
        "\n"
        "<p>html</p>\n"
        "--inner--\n"
        "inner epilogue\n"
        "--outer  \n"
        "Content-Type: message/rfc822\n"
        "\n"
        "Subject: enclosed\n"
        "Content-Type: multipart/mixed; boundary=\"deep\"\n"
        "\n"
        "--deep\n"
        "Content-Type: application/pdf\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        "JVBERi0=\n"
        "--deep--\n"
        "--outer--\n"
        "epilogue, ignored\n"
        "--outer\n"
        "Content-Type: text/x-after-the-end\n";
    for (const QByteArray& text : {raw, crlf(raw)}) {
        const MimeMessage m = readMimeMessage(text);
        EXPECT_EQ(shape(m.root),
                  "multipart/mixed[multipart/alternative[text/plain,text/html],message/rfc822{multipart/mixed["
                  "application/pdf]}]");
        EXPECT_TRUE(m.problems.isEmpty()) << m.problems.join(u'\n').toStdString();
        const MimeEntity& alternative = m.root.parts[0];
        EXPECT_EQ(alternative.parts[0].body(), "plain text");  // the line break before a delimiter is its own
        EXPECT_EQ(alternative.parts[1].body(), "<p>html</p>");
        const MimeEntity& enclosed = m.root.parts[1].enclosed.front();
        EXPECT_EQ(enclosed.text("SUBJECT"), "enclosed");
        EXPECT_EQ(enclosed.parts[0].body(), "%PDF-");
    }
}

TEST(MimeReader, ToleratesWhatRealMailersGetWrong) {
    // No closing delimiter: the last part runs to the end, and the reader says so.
    MimeMessage m = readMimeMessage("Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b\n\ntwo\n");
    EXPECT_EQ(shape(m.root), "multipart/mixed[text/plain,text/plain]");
    EXPECT_EQ(m.root.parts[1].body(), "two\n");
    EXPECT_EQ(m.problems.size(), 1);

    // A boundary with "=" left unquoted, a delimiter-like line that is longer, a multipart without boundary.
    m = readMimeMessage(
        "Content-Type: multipart/mixed; boundary=----=_Part_1\n\n------=_Part_1\n\nx\n------=_Part_1x\n"
        "------=_Part_1--\n");
    ASSERT_EQ(m.root.parts.size(), 1u);
    EXPECT_EQ(m.root.parts[0].body(), "x\n------=_Part_1x");
    m = readMimeMessage("Content-Type: multipart/mixed\n\n--x\n\nbody\n");
    EXPECT_TRUE(m.root.parts.empty());
    EXPECT_EQ(m.root.rawBody, "--x\n\nbody\n");

    // An mbox separator, a line that is no field (the body starts there), no empty line at all.
    m = readMimeMessage("From someone Thu Dec 10 2026\nSubject: s\nnot a field\nbody\n");
    EXPECT_EQ(m.root.text("subject"), "s");
    EXPECT_EQ(m.root.rawBody, "not a field\nbody\n");
    m = readMimeMessage("Subject: only a header");
    EXPECT_EQ(m.root.text("subject"), "only a header");
    EXPECT_TRUE(m.root.rawBody.isEmpty());

    // Parts of a digest are messages unless they say otherwise.
    m = readMimeMessage("Content-Type: multipart/digest; boundary=d\n\n--d\n\nSubject: one\n\nbody\n--d--\n");
    EXPECT_EQ(shape(m.root), "multipart/digest[message/rfc822{text/plain}]");
}

TEST(MimeReader, HeaderFieldsUnfoldedAndDecoded) {
    const MimeMessage m = readMimeMessage(
        "subject: =?UTF-8?Q?Feliz_anivers=C3=A1rio?=\r\n"
        "\t=?UTF-8?B?LCBBbmEh?=\r\n"
        "X-Long: one\r\n two\r\n\tthree\r\n"
        "Subject: the second is not the first\r\n"
        "\r\n");
    EXPECT_EQ(m.root.field("X-LONG"), "one two\tthree");
    EXPECT_EQ(m.root.text("Subject"), QString::fromUtf8("Feliz aniversário, Ana!"));
    EXPECT_TRUE(m.root.field("Missing").isNull());

    struct Case {
        const char* raw;
        const char* text;  // UTF-8
    };
    const Case cases[] = {
        {"=?iso-8859-1?Q?N=E3o_=E9?= poss\xedvel",
         "Não é poss\xc3\xad"
         "vel"},                                         // raw Latin-1 outside a word
        {"=?utf-8?q?Jo=C3?= =?utf-8?q?=A3o?=", "João"},  // one character split over two words
        {"a =?utf-8?b?w6k=?= b", "a é b"},               // blanks beside plain text stay
        {"=?utf-8?x?bad?= =?broken", "=?utf-8?x?bad?= =?broken"},
        {"=?a?q?x=?b?q?y =?c", "=?a?q?x=?b?q?y =?c"},  // never closed
        {"=?UTF-8*pt?Q?ol=C3=A1?=", "olá"},            // RFC 2231 language
        {"=?unknown-charset?Q?caf=E9?=", "caf\xc3\xa9"},
        {"\xe2\x9c\x93 UTF-8 as it stands", "\xe2\x9c\x93 UTF-8 as it stands"},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeHeaderText(c.raw), QString::fromUtf8(c.text)) << c.raw;
}

TEST(MimeReader, ContentTypeParameters) {
    struct Case {
        const char* value;
        const char* type;
        const char* name;    // parameter looked up
        const char* value2;  // its value, UTF-8
    };
    const Case cases[] = {
        {"Text/HTML; Charset=\"UTF-8\"", "text/html", "charset", "UTF-8"},
        {"multipart/mixed (comment; boundary=no); boundary=\"a \\\"b\\\" c\"", "multipart/mixed", "boundary",
         "a \"b\" c"},
        {"multipart/report;\treport-type=delivery-status ; boundary=x", "multipart/report", "report-type",
         "delivery-status"},
        {"application/pdf; name*=utf-8''relat%C3%B3rio%20mensal.pdf", "application/pdf", "name",
         "relatório mensal.pdf"},
        {"application/pdf; name*0*=iso-8859-1'pt'ol%E1; name*1=\" mundo\"; name=fallback", "application/pdf", "name",
         "olá mundo"},
        {"application/pdf; name*1=b; name*0=a", "application/pdf", "name", "ab"},
        {"garbage", "text/plain", "charset", ""},
        {"text/; charset=x", "text/plain", "charset", ""},
        {"", "text/plain", "charset", ""},
        {"text/plain; ;; =x; charset", "text/plain", "charset", ""},
    };
    for (const Case& c : cases) {
        const ContentType ct = readContentType(c.value);
        EXPECT_EQ(ct.type + '/' + ct.subtype, QByteArray(c.type)) << c.value;
        EXPECT_EQ(ct.parameter(c.name), QString::fromUtf8(c.value2)) << c.value;
    }
}

TEST(MimeReader, TransferEncodings) {
    EXPECT_EQ(decodeBase64("T2zD\r\noSE=\r\n"), "Ol\xc3\xa1!");
    EXPECT_EQ(decodeBase64("T2z*D o#SE"), "Ol\xc3\xa1!");  // stray characters skipped
    EXPECT_EQ(decodeQuotedPrintable("caf=C3=A9 =\r\nau lait   \r\nnext=3d=\nend=4"), "café au lait\r\nnext=end=4");
    EXPECT_EQ(decodeQuotedPrintable("=ZZ=\r\n=A"), "=ZZ=A");

    static const char raw[] =
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Transfer-Encoding: BASE64\n\nw6k=\n"
        "--b\nContent-Transfer-Encoding: Quoted-Printable\n\n=C3=A9\n"
        "--b\nContent-Transfer-Encoding: 8bit\n\n\xc3\xa9\n"
        "--b\nContent-Transfer-Encoding: binary\n\n\x00\xff\n"
        "--b\nContent-Transfer-Encoding: x-unknown\n\n=C3=A9\n"
        "--b--\n";
    const MimeMessage m = readMimeMessage(QByteArray(raw, sizeof raw - 1));

    ASSERT_EQ(m.root.parts.size(), 5u);
    EXPECT_EQ(m.root.parts[0].body(), "\xc3\xa9");
    EXPECT_EQ(m.root.parts[1].body(), "\xc3\xa9");
    EXPECT_EQ(m.root.parts[2].body(), "\xc3\xa9");
    EXPECT_EQ(m.root.parts[3].body(), QByteArray("\x00\xff", 2));
    EXPECT_EQ(m.root.parts[4].body(), "=C3=A9");  // unknown: left as it is
}

TEST(MimeReader, CapsOnDepthPartsAndSize) {
    // Nesting a thousand levels deep: read down to the cap, the rest is one part.
    QByteArray deep;
    for (int i = 0; i < 1000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\n\n--b" +
                QByteArray::number(i) + "\n";
    MimeMessage m = readMimeMessage(deep);
    int depth = 0;
    for (const MimeEntity* e = &m.root; !e->parts.empty(); e = &e->parts.front()) ++depth;
    EXPECT_EQ(depth, MimeLimits{}.maxDepth);
    EXPECT_TRUE(m.problems.join(u' ').contains(QStringLiteral("nested deeper")));

    // Enclosed messages count as levels too.
    QByteArray enclosed;
    for (int i = 0; i < 1000; ++i) enclosed += "Content-Type: message/rfc822\n\n";
    m = readMimeMessage(enclosed);
    EXPECT_TRUE(m.problems.join(u' ').contains(QStringLiteral("nested deeper")));

    QByteArray many = "Content-Type: multipart/mixed; boundary=b\n\n";
    for (int i = 0; i < 100000; ++i) many += "--b\n\n";
    m = readMimeMessage(many);
    EXPECT_EQ(m.root.parts.size(), static_cast<size_t>(MimeLimits{}.maxParts - 1));
    EXPECT_TRUE(m.problems.join(u' ').contains(QStringLiteral("more than")));

    MimeLimits small;
    small.maxSize = 20;
    m = readMimeMessage("Subject: a\n\n0123456789abcdef", small);
    EXPECT_EQ(m.root.rawBody, "01234567");
    EXPECT_EQ(m.problems.size(), 1);

    QByteArray fields;
    for (int i = 0; i < 5000; ++i) fields += "X-Field: " + QByteArray::number(i) + "\n";
    m = readMimeMessage(fields + "Subject: late\n\nbody");
    EXPECT_EQ(m.root.fields.size(), MimeLimits{}.maxFields);
    EXPECT_EQ(m.root.rawBody, "body");
}

// Every message of the fuzzing corpus (the report fixtures and what the fuzzer found) is read
// without a fault; under the sanitizers this is the fuzzer's replay.
TEST(MimeReader, ReplaysTheFuzzingCorpus) {
    int files = 0;
    for (const char* folder : {"tests/mail/mime/reports", "tests/mail/mime/fuzz_corpus"}) {
        const QDir dir(testing::sourceTreePath(QLatin1String(folder)));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            const QByteArray raw = file.readAll();
            const MimeMessage m = readMimeMessage(raw);
            (void)m.root.body();
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velocast::mail
