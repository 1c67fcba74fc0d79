// Message composition: the exact lines of each shape, the pieces they are made of, and a
// parse-back of every shape by Python's standard email package, the way a mail reader sees it.
#include "mail/mime/body_wrap.h"
#include "mail/mime/content_types.h"
#include "mail/mime/encoded_words.h"
#include "mail/mime/header_folding.h"
#include "mail/mime/message_composer.h"
#include "mail/mime/recipient_parser.h"
#include "mail/mime/transfer_encodings.h"
#include "mail/mime/windows1252.h"
#include "composition_fixture.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSysInfo>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <tuple>

using namespace velocast::mail;
using namespace velocast::mail::testing;

TEST(Composition, PlainShapeDeclaresItsCharsetAndSendsTheTextQuotedPrintable) {
    MessageFields fields;
    fields.senderAddress = "academia@clube.com.br";
    fields.senderName = QString::fromUtf8("Academia Força Total");
    fields.recipients = "  socio@exemplo.com.br ";
    fields.subject = QString::fromUtf8("Feliz aniversário, João!");
    fields.body = QString::fromUtf8("Olá João,\r\nParabéns pelo seu dia.\n.\r\n\u20AC \u201Caspas\u201D\r\n");

    const ComposedMessage m = composeMessage(fields, fixedOptions());

    EXPECT_EQ(m.fromAddress, "academia@clube.com.br");
    EXPECT_EQ(m.recipients, QStringList{"socio@exemplo.com.br"});
    const QList<QByteArray> expected = {
        "From: Academia =?UTF-8?B?Rm9yw6dh?= Total <academia@clube.com.br>",
        "Subject: Feliz =?UTF-8?B?YW5pdmVyc8OhcmlvLCBKb8OjbyE=?=",
        "To: socio@exemplo.com.br",
        "Content-Type: text/plain; charset=windows-1252",
        "Content-Transfer-Encoding: quoted-printable",
        "MIME-Version: 1.0",
        "Date: Thu, 5 Mar 2026 09:07:03 -0300",
        "Message-ID: <20260305120703.5f3a9c@clube.com.br>",
        "",
        "Ol=E1 Jo=E3o,",
        "Parab=E9ns pelo seu dia.",
        "=2E",              // no line needs dot-stuffing
        "=80 =93aspas=94",  // the euro sign and the quotes of the code page it declares
        "",
    };
    EXPECT_EQ(m.lines, expected);
}

TEST(Composition, MultipartShapeHasTextPartThenAttachment) {
    QTemporaryDir dir;
    const ComposedMessage m = composeMessage(
        row("Promocao", QString::fromUtf8(".Até logo\r\n"), writeFile(dir, "logo.GIF", "GIF89a"), "Academia"),
        fixedOptions());

    const QList<QByteArray> expected = {
        "From: \"Academia\" <academia@clube.com.br>",
        "Subject: Promocao",
        "To: socio@exemplo.com.br",
        "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"",
        "MIME-Version: 1.0",
        "Date: Thu, 5 Mar 2026 09:07:03 -0300",
        "Message-ID: <20260305120703.5f3a9c@clube.com.br>",
        "",
        "This is a multi-part message in MIME format",
        "",
        "--" + kBoundary,
        "Content-Type: text/plain; charset=windows-1252",
        "Content-Transfer-Encoding: quoted-printable",
        "Content-Disposition: inline",
        "",
        "=2EAt=E9 logo",
        "",
        "--" + kBoundary,
        "Content-Type: image/gif;",
        "\tname=\"logo.GIF\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment;",
        "\tfilename=\"logo.GIF\"",
        "",
        "R0lGODlh",
        "",
        "--" + kBoundary + "--",
        "",
    };
    EXPECT_EQ(m.lines, expected);
}

TEST(Composition, BlankTextWithAttachmentIsSinglePart) {
    QTemporaryDir dir;
    const ComposedMessage m =
        composeMessage(row("Tabela", " \t\r\n ", writeFile(dir, "tabela.zzq", "abc")), fixedOptions());

    const QList<QByteArray> expected = {
        "From: \"academia@clube.com.br\" <academia@clube.com.br>",
        "Subject: Tabela",
        "To: socio@exemplo.com.br",
        "MIME-Version: 1.0",
        "Date: Thu, 5 Mar 2026 09:07:03 -0300",
        "Message-ID: <20260305120703.5f3a9c@clube.com.br>",
        "Content-Type: application/octet-stream;",
        "\tname=\"tabela.zzq\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment;",
        "\tfilename=\"tabela.zzq\"",
        "",
        "YWJj",
        "",
    };
    EXPECT_EQ(m.lines, expected);
}

TEST(Composition, NulCharactersOfTheTextAreDropped) {
    QTemporaryDir dir;
    const QString nul(QChar(u'\0'));
    for (const QString& attachment : {QString(), writeFile(dir, "a.txt", "abc")}) {
        const ComposedMessage m =
            composeMessage(row("Aviso", "Bom" + nul + "dia" + nul + "\r\n" + nul, attachment), fixedOptions());
        EXPECT_FALSE(wire(m).contains('\0'));
        EXPECT_FALSE(wire(m).contains("=00"));
        EXPECT_TRUE(wire(m).contains("Bomdia")) << wire(m).toStdString();
    }
}

TEST(Composition, MessageIdIsUniqueAndNamesTheSendersDomainOrThisHost) {
    const QByteArray host = QSysInfo::machineHostName().toLatin1();
    const struct {
        QString sender;
        QByteArray domain;
    } cases[] = {
        {"academia@clube.com.br", "clube.com.br"},
        {"Academia@Mail.Clube-Fit.com ", "Mail.Clube-Fit.com"},
        {"", host},
        {"academia", host},
        {"academia@[192.0.2.1]", host},  // a literal is no name to make an identifier from
    };
    for (const auto& c : cases)
        EXPECT_EQ(makeMessageId(c.sender, "u1"), "<u1@" + c.domain + ">") << c.sender.toStdString();

    const QByteArray first = makeMessageIdUnique(), second = makeMessageIdUnique();
    EXPECT_NE(first, second);
    EXPECT_TRUE(QRegularExpression("^[0-9]{17}\\.[0-9a-f]{24}$").match(QString::fromLatin1(first)).hasMatch())
        << first.toStdString();
    // Without a fixed one, every message gets a fresh identifier.
    const auto idOf = [](const ComposedMessage& m) {
        for (const QByteArray& line : m.lines)
            if (line.startsWith("Message-ID: ")) return line;
        return QByteArray();
    };
    const ComposedMessage a = composeMessage(row("x", "y")), b = composeMessage(row("x", "y"));
    EXPECT_TRUE(idOf(a).endsWith("@clube.com.br>")) << idOf(a).toStdString();
    EXPECT_NE(idOf(a), idOf(b));
}

TEST(Composition, EncodedWords) {
    const auto utf8 = [](const char* s) { return encodeHeaderText(QString::fromUtf8(s), "UTF-8"); };
    // ASCII words stay plain; a run of words needing encoding is one sequence.
    EXPECT_EQ(utf8("Plain ASCII subject, ok?"), "Plain ASCII subject, ok?");
    EXPECT_EQ(utf8("Olá mundo e adeus ção"), "=?UTF-8?B?T2zDoQ==?= mundo e adeus =?UTF-8?B?w6fDo28=?=");
    // "=" needs encoding, unless the text already holds an encoded word.
    EXPECT_EQ(utf8("a=b"), "=?UTF-8?B?YT1i?=");
    EXPECT_EQ(utf8("=?UTF-8?B?T2zDoQ==?= a=b"), "=?UTF-8?B?T2zDoQ==?= a=b");
    // In a display name the special characters make a word need encoding.
    EXPECT_EQ(encodeHeaderText(QString::fromUtf8("Clube Saúde, Ltda."), "UTF-8", HeaderTextKind::DisplayName),
              "Clube =?UTF-8?B?U2HDumRlLCBMdGRhLg==?=");

    // Words of at most 75 characters (45 UTF-8 bytes), each holding whole characters: 46
    // two-byte characters go 22, 22 and 2, not 45 bytes with a character cut in two.
    const QByteArray text = QString(46, QChar(0xE9)).toUtf8();
    const QList<QByteArray> words = encodeHeaderText(QString(46, QChar(0xE9)), "UTF-8").split('\n');
    ASSERT_EQ(words.size(), 3);
    EXPECT_EQ(words[0], "=?UTF-8?B?" + text.left(44).toBase64() + "?=\r");
    EXPECT_EQ(words[1], " =?UTF-8?B?" + text.mid(44, 44).toBase64() + "?=\r");
    EXPECT_EQ(words[2], " =?UTF-8?B?" + text.mid(88).toBase64() + "?=");
    EXPECT_EQ(encodeHeaderText(QString(50, u'='), "UTF-8").split('\n')[0].size() - 1, 72);  // 45 bytes
    // A stateful charset: every word returns to ASCII before it closes.
    if (!systemConverts("ISO-2022-JP")) return;
    for (const QByteArray& w :
         encodeHeaderText(QString::fromUtf8("お誕生日おめでとうございます").repeated(3), "ISO-2022-JP").split('\n'))
        EXPECT_TRUE(QByteArray::fromBase64(w.trimmed().mid(16).chopped(2)).endsWith("\x1B(B")) << w.toStdString();
}

TEST(Composition, HeaderCharsetFollowsTheLocaleLanguage) {
    const QList<std::pair<const char*, QByteArray>> cases = {
        {"pt_BR.UTF-8", "UTF-8"},
        {"C.UTF-8", "UTF-8"},
        {"en_US", "UTF-8"},
        {"zh_CN.GB2312", "GB2312"},
        {"zh_SG", "GB2312"},
        {"zh_TW.UTF-8", "Big5"},
        {"zh_HK", "Big5"},
        {"ja_JP.eucJP", "ISO-2022-JP"},
        {"ko_KR.UTF-8", "csEUCKR"},
        {"ru_RU.KOI8-R", "KOI8-R"},
        {"uk_UA.UTF-8", "windows-1251"},
        {"", "UTF-8"},
    };
    for (const auto& [locale, charset] : cases) EXPECT_EQ(headerCharsetForLocale(locale), charset) << locale;
}

TEST(Composition, HeaderFolding) {
    const QByteArray name(40, 'N');
    const QByteArray from = "From: \"" + name + " Silva\" <" + QByteArray(40, 'a') + "@b.com>";
    const QList<QByteArray> lines = foldHeader(from);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "From: \"" + name + " Silva\"");
    EXPECT_EQ(lines.join("\r\n").replace("\r\n", ""), from);  // unfolding gives the line back
    // A comma only when no blank is there; a line without any break stays long; trailing
    // blanks go.
    EXPECT_EQ(foldHeader("X: " + QByteArray(70, 'a') + ",bbbbbbbbbbb"),
              (QList<QByteArray>{"X: " + QByteArray(70, 'a') + ",", " bbbbbbbbbbb"}));
    // Never right after the field name: an encoded word longer than the rest stays there.
    const QByteArray word = "=?UTF-8?B?" + QByteArray(60, 'A') + "?=";
    EXPECT_EQ(foldHeader("Subject: " + word + "\r\n " + word + " ok"),
              (QList<QByteArray>{"Subject: " + word, " " + word + " ok"}));
    EXPECT_EQ(foldHeader("X:" + QByteArray(70, 'a') + ",bbbbbbbbbbb"),
              (QList<QByteArray>{"X:" + QByteArray(70, 'a') + ",", " bbbbbbbbbbb"}));
    EXPECT_EQ(foldHeader("X:" + QByteArray(90, 'a')), QList<QByteArray>{"X:" + QByteArray(90, 'a')});
    EXPECT_EQ(foldHeader("Subject: a  \r\n b "), (QList<QByteArray>{"Subject: a", " b"}));
}

TEST(Composition, QuotedPrintableLines) {
    const QByteArray seventy(70, 'a');
    const QList<std::pair<QByteArray, QList<QByteArray>>> cases = {
        {".linha", {"=2Elinha"}},
        {"..", {"=2E."}},
        {"a b \t", {"a b =09"}},
        {"x=y\xE9\x01", {"x=3Dy=E9=01"}},
        {"", {""}},
        {seventy + "bc", {seventy + "=", "bc"}},
        {seventy + ".", {seventy + "=", "=2E"}},  // a "." beginning a continuation line
        {QByteArray(69, 'a') + "\xE9z", {QByteArray(69, 'a') + "=E9=", "z"}},
        {seventy, {seventy + "=", ""}},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(quotedPrintableLines({line}), expected) << line.toStdString();
    EXPECT_EQ(base64Lines(QByteArray(57 * 2 + 1, 'x')).size(), 3);
    EXPECT_EQ(base64Lines(QByteArray(57, 'x'))[0].size(), 76);
}

TEST(Composition, BodyWrapBreaksBetweenWordsWithinTheBox) {
    const auto width = [](QStringView text) {
        int w = 0;
        for (QChar c : text) w += glyphWidth(c.unicode());
        return w;
    };
    const auto trimmedEnd = [](QString s) {
        while (s.endsWith(u' ')) s.chop(1);
        return s;
    };
    EXPECT_EQ(wrapBody(""), QStringList());
    EXPECT_EQ(wrapBody("a\r\n"), QStringList{"a"});
    EXPECT_EQ(wrapBody("a\r\n\r\n"), (QStringList{"a", ""}));
    EXPECT_EQ(wrapBody("a\rb\nc\r\n\n d"), (QStringList{"a", "b", "c", "", " d"}));

    // A paragraph of words: greedy lines that keep their blank at the end and never split a
    // word; together they are the paragraph.
    const QString paragraph = QString::fromUtf8("Olá sócio, sua matrícula vence amanhã! ").repeated(40).trimmed();
    const QStringList lines = wrapBody(paragraph);
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines.join(""), paragraph);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].endsWith(u' ')) << i;
        EXPECT_LE(width(trimmedEnd(lines[i])), kWrapTextWidth) << i;
        const QString nextWord = lines[i + 1].section(u' ', 0, 0);
        EXPECT_GT(width(lines[i]) + width(nextWord), kWrapTextWidth) << i;
    }

    // A word that fits the box moves to the next line whole; one wider than the box is cut at
    // the edge.
    const QString fits(kWrapTextWidth / glyphWidth('m'), u'm');
    EXPECT_EQ(wrapBody("a " + fits), (QStringList{"a ", fits}));
    const QString tooWide(300, u'W');
    const QStringList cut = wrapBody(tooWide);
    EXPECT_EQ(cut.join(""), tooWide);
    EXPECT_EQ(cut[0].size(), kWrapTextWidth / glyphWidth('W'));
    // Long runs of blanks hang on their line, which is read with at most 4096 characters.
    EXPECT_EQ(wrapBody("a" + QString(5000, u' ') + "b"), (QStringList{"a" + QString(4095, u' '), "b"}));
}

TEST(Composition, ContentTypesAndFileNames) {
    QTemporaryDir dir;
    const QString registry =
        writeFile(dir, "mime.types",
                  "# comment ods\napplication/vnd.oasis.opendocument.spreadsheet\tods\nimage/png png\n"
                  "application/x-thing  thg   THX\n");
    const QList<std::pair<const char*, const char*>> cases = {
        {"foto.PNG", "image/x-png"},  // the built-in table comes first
        {"a.b.JPEG", "image/jpeg"},
        {"x.jpg", "image/jpeg"},
        {"x.bmp", "image/bmp"},
        {"x.gif", "image/gif"},
        {"planilha.Ods", "application/vnd.oasis.opendocument.spreadsheet"},
        {"x.thx", "application/x-thing"},
        {"arquivo.xyz", "application/octet-stream"},
        {"semextensao", "application/octet-stream"},
        {"ponto.", "application/octet-stream"},
    };
    for (const auto& [name, type] : cases) EXPECT_EQ(contentTypeForFile(name, registry), type) << name;
    EXPECT_EQ(contentTypeForFile("x.ods", dir.filePath("missing")), "application/octet-stream");

    EXPECT_EQ(attachmentFileName("C:\\QZ\\Imagens\\niver.jpg"), "niver.jpg");
    EXPECT_EQ(attachmentFileName("/srv/clube/img/niver.jpg"), "niver.jpg");
    EXPECT_EQ(attachmentFileName("niver.jpg"), "niver.jpg");
}

TEST(Composition, RecipientParsing) {
    const QList<std::pair<const char*, QStringList>> cases = {
        {"socio@exemplo.com.br", {"socio@exemplo.com.br"}},
        {"  socio@exemplo.com.br\t", {"socio@exemplo.com.br"}},
        {"a@x.com, b@y.com;c@z.com", {"a@x.com", "b@y.com", "c@z.com"}},
        {"Maria Silva <maria@x.com>", {"maria@x.com"}},
        {"\"Silva, Maria\" <maria@x.com>; joao@y.com", {"maria@x.com", "joao@y.com"}},
        {"maria@x.com (casa; antiga), joao@y.com", {"maria@x.com", "joao@y.com"}},
        {" , ;", {}},
        {"", {}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parseRecipients(text), expected) << text;
}

TEST(Composition, DateHeaderAndBoundary) {
    EXPECT_EQ(formatDateHeader(kDate), "Thu, 5 Mar 2026 09:07:03 -0300");
    EXPECT_EQ(formatDateHeader(QDateTime(QDate(2025, 12, 28), QTime(23, 0, 9), QTimeZone(5 * 3600 + 1800))),
              "Sun, 28 Dec 2025 23:00:09 +0530");
    EXPECT_EQ(formatDateHeader(QDateTime(QDate(2024, 2, 29), QTime(0, 0), QTimeZone(-(9 * 3600 + 30 * 60)))),
              "Thu, 29 Feb 2024 00:00:00 -0930");

    static const QRegularExpression shape("^[A-Za-z0-9]*=_[A-Za-z0-9]*$");
    QSet<QByteArray> seen;
    for (int i = 0; i < 20; ++i) {
        const QByteArray b = makeBoundary();
        EXPECT_EQ(b.size(), 34);
        EXPECT_TRUE(shape.match(QString::fromLatin1(b)).hasMatch()) << b.toStdString();
        seen.insert(b);
    }
    EXPECT_GT(seen.size(), 1);
}

TEST(Composition, Windows1252Conversions) {
    EXPECT_EQ(toWindows1252(QString::fromUtf8("€ç “x” Ж😀")), "\x80\xE7 \x93x\x94 ??");
    EXPECT_EQ(fromWindows1252("\x80\xE7\x81\x93"), QString::fromUtf8("€ç\u0081“"));
    EXPECT_EQ(toCharset(QString::fromUtf8("aЖé"), "KOI8-R"), "a\xF6?");
    // The converter kept for the run starts every text afresh, also after a stateful set.
    if (systemConverts("ISO-2022-JP")) {
        EXPECT_EQ(toCharset(QString::fromUtf8("Жx"), "ISO-2022-JP"), toCharset(QString::fromUtf8("Жx"), "ISO-2022-JP"));
    }
}
