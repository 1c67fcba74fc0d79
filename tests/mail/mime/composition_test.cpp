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
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velocast::mail;

namespace {

const QDateTime kDate(QDate(2026, 3, 5), QTime(9, 7, 3), QTimeZone(-3 * 3600));
const QByteArray kBoundary = "aB3dE5gH7jK9mN1pQ2sT4vW6yZ8=_cX0fR";

CompositionOptions fixedOptions(const QByteArray& charset = "UTF-8") {
    return {kDate, charset, kBoundary, {}, "20260305120703.5f3a9c", {}};
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

// One outbox row from the club's account to one member.
MessageFields row(const QString& subject, const QString& body, const QString& attachmentPath = {},
                  const QString& senderName = {}) {
    return {"academia@clube.com.br", senderName, "socio@exemplo.com.br", subject, body, attachmentPath};
}

// What the session sends between DATA and ".", before dot-stuffing.
QByteArray wire(const ComposedMessage& message) {
    QByteArray out;
    for (const QByteArray& line : message.lines) out += line + "\r\n";
    return out;
}

QJsonObject parseBack(const ComposedMessage& message) {
    const QString script = QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/parse_message.py";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script});
    EXPECT_TRUE(python.waitForStarted());
    python.write(wire(message));
    python.closeWriteChannel();
    EXPECT_TRUE(python.waitForFinished(120000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QStringList strings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray()) out.append(v.toString());
    return out;
}

}  // namespace

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

TEST(Composition, UnreadableAttachmentIsAnErrorNamingTheFile) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fila.jpg");  // nobody ever writes to it
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QString path, reason;
    } cases[] = {
        {dir.filePath("sumiu.jpg"), "No such file or directory"},
        {fifo, "Not a regular file"},
        {dir.path(), "Not a regular file"},
        {"/dev/zero", "Not a regular file"},
    };
    for (const auto& c : cases) {
        try {
            composeMessage(row("Aviso", "texto", c.path), fixedOptions());
            ADD_FAILURE() << "composed with " << c.path.toStdString();
        } catch (const CompositionError& e) {
            EXPECT_EQ(e.text(), QString("Cannot open file \"%1\". %2").arg(c.path, c.reason));
        }
    }
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

// Every shape as a mail reader decodes it, including the hard cases: long subjects split
// into several encoded words, other charsets, header values holding CR LF, binary files.
TEST(Composition, PythonEmailPackageReadsBackEveryShape) {
    QTemporaryDir dir;
    QByteArray binary;
    for (int i = 0; i < 700; ++i) binary.append(static_cast<char>((i * 37 + 11) % 256));
    const QString longParagraph = QString::fromUtf8("Prezado sócio, ").repeated(60);

    struct Case {
        const char* label;
        QByteArray charset;
        QString senderName, subject, body, attachmentName;
        QByteArray attachment;
        QString expectedContentType;
    };
    const QList<Case> cases = {
        {"plain, accents",
         "UTF-8",
         QString::fromUtf8("Academia Força"),
         QString::fromUtf8("Avaliação médica: está na hora!"),
         QString::fromUtf8("Olá,\r\n.começa com ponto\r\n\r\n€ fim"),
         {},
         {},
         {}},
        {"multipart, long subject, long text", "UTF-8", QString::fromUtf8("Clube \"Saúde\", Ltda."),
         QString::fromUtf8("Promoção imperdível de matrícula: ganhe três meses grátis na academia"),
         longParagraph + "\r\n." + QString(200, u'x') + "  \r\n\tfim = ok ", QString::fromUtf8("Promoção de verão.png"),
         binary, "image/x-png"},
        {"single-part, empty name, quotes in the file name", "UTF-8", "", "Tabela de horarios", "\r\n",
         "tabela \"2026\".zzq", binary.left(57 * 3), "application/octet-stream"},
        {"header values holding CR LF",
         "UTF-8",
         "Academia\r\nBcc: x@y.com",
         "Oi\r\nBcc: vitima@exemplo.com",
         "texto",
         {},
         {},
         {}},
        {"Russian locale",
         "KOI8-R",
         QString::fromUtf8("Клуб Здоровье"),
         QString::fromUtf8("Привет, это очень длинная тема письма для проверки"),
         "ok",
         {},
         {},
         {}},
        {"Japanese locale", "ISO-2022-JP", QString::fromUtf8("クラブ"),
         QString::fromUtf8("お誕生日おめでとうございます。素晴らしい一年になりますように"), "ok", "a.pdf", "%PDF",
         "application/pdf"},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const MessageFields fields =
            row(c.subject, c.body,
                c.attachmentName.isEmpty() ? QString() : writeFile(dir, c.attachmentName, c.attachment), c.senderName);
        CompositionOptions options = fixedOptions(c.charset);
        options.boundary.clear();  // a random one, as in the program

        const QJsonObject r = parseBack(composeMessage(fields, options));
        ASSERT_FALSE(r.isEmpty());

        QString headerValue = c.senderName.isEmpty() ? fields.senderAddress : c.senderName;
        EXPECT_EQ(r["from_name"].toString(), headerValue.replace("\r\n", "  "));
        EXPECT_EQ(r["from_address"].toString(), fields.senderAddress);
        EXPECT_EQ(r["subject"].toString(), QString(c.subject).replace("\r\n", "  "));
        EXPECT_EQ(r["to"].toString(), fields.recipients);
        EXPECT_EQ(r["date"].toString(), "Thu, 05 Mar 2026 09:07:03 -0300");
        EXPECT_FALSE(strings(r["header_names"]).contains("Bcc"));
        EXPECT_EQ(strings(r["defects"]), QStringList());
        EXPECT_LE(r["max_line_length"].toInt(), 998);
        EXPECT_LE(r["max_encoded_word_length"].toInt(), 75);

        const QJsonArray parts = r["parts"].toArray();
        const bool hasText = c.body.trimmed().size() > 0;
        // What a reader shows: the paragraphs as written (the wrap's breaks are soft), each
        // character outside Windows-1252 as "?".
        QStringList expectedBody;
        for (const QStringList& paragraph : wrapBodyParagraphs(c.body))
            expectedBody.append(fromWindows1252(toWindows1252(paragraph.join(QString()))));
        if (c.attachmentName.isEmpty()) expectedBody.append("");  // the plain shape ends with one more empty line
        if (c.attachmentName.isEmpty()) {
            ASSERT_EQ(parts.size(), 1);
            EXPECT_FALSE(r["is_multipart"].toBool());
            EXPECT_EQ(parts[0].toObject()["charset_param"].toString(), "windows-1252");
            EXPECT_EQ(strings(parts[0].toObject()["text_lines"]), expectedBody);
            continue;
        }
        const QJsonObject attachment = parts.last().toObject();
        EXPECT_EQ(attachment["filename"].toString(), c.attachmentName);
        EXPECT_EQ(attachment["content_type"].toString(), c.expectedContentType);
        EXPECT_EQ(attachment["disposition"].toString(), "attachment");
        EXPECT_EQ(QByteArray::fromBase64(attachment["data"].toString().toLatin1()), c.attachment);
        EXPECT_EQ(strings(attachment["defects"]), QStringList());
        EXPECT_EQ(r["is_multipart"].toBool(), hasText);
        if (hasText) {
            ASSERT_EQ(parts.size(), 2);
            const QJsonObject text = parts[0].toObject();
            EXPECT_EQ(text["content_type"].toString(), "text/plain");
            EXPECT_EQ(text["charset_param"].toString(), "windows-1252");
            EXPECT_EQ(text["disposition"].toString(), "inline");
            EXPECT_EQ(strings(text["text_lines"]), expectedBody);
        }
    }
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
    for (const QByteArray& w :
         encodeHeaderText(QString::fromUtf8("お誕生日おめでとうございます").repeated(3), "ISO-2022-JP").split('\n'))
        EXPECT_TRUE(QByteArray::fromBase64(w.trimmed().mid(16).chopped(2)).endsWith("\x1B(B")) << w.toStdString();
}

// Every word of a long run, in each charset a locale can select, is at most 75 characters,
// decodes on its own, and the words together give the text back.
TEST(Composition, EncodedWordsDecodeWholeInEveryCharset) {
    const auto decode = [](const QByteArray& bytes, const char* charset) {
        iconv_t cd = iconv_open("UTF-8", charset);
        QByteArray out(bytes.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(bytes.constData());
        size_t inLeft = bytes.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
        iconv_close(cd);
        return ok ? QString::fromUtf8(out.constData(), out.size() - outLeft) : QStringLiteral("(undecodable)");
    };
    const QList<std::tuple<QByteArray, const char*, QString>> cases = {
        {"UTF-8", "UTF-8", QString::fromUtf8("Parabéns 😀 ção ").repeated(6).trimmed()},
        {"GB2312", "GB2312", QString::fromUtf8("生日快乐祝你健康").repeated(8)},
        {"Big5", "BIG5", QString::fromUtf8("生日快樂祝你健康").repeated(8)},
        {"csEUCKR", "EUC-KR", QString::fromUtf8("생일축하합니다").repeated(8)},
        {"KOI8-R", "KOI8-R", QString::fromUtf8("СднёмрождениясПраздником").repeated(4)},
        {"windows-1251", "WINDOWS-1251", QString::fromUtf8("ЗднемнародженняЗсвятом").repeated(5)},
        {"ISO-2022-JP", "ISO-2022-JP", QString::fromUtf8("お誕生日おめでとうございます").repeated(3)},
    };
    for (const auto& [charset, iconvName, text] : cases) {
        const QByteArray open = "=?" + charset + "?B?";
        const QList<QByteArray> words = encodeHeaderText(text, charset).split('\n');
        EXPECT_GT(words.size(), 2) << charset.constData();
        QString back;
        for (const QByteArray& line : words) {
            const QByteArray word = line.trimmed();
            EXPECT_LE(word.size(), 75) << charset.constData();
            ASSERT_TRUE(word.startsWith(open) && word.endsWith("?=")) << word.constData();
            const QString part = decode(QByteArray::fromBase64(word.mid(open.size()).chopped(2)), iconvName);
            EXPECT_FALSE(part.contains(QChar::ReplacementCharacter)) << charset.constData();
            back += part;
        }
        EXPECT_EQ(back, text) << charset.constData();
    }
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
    EXPECT_EQ(toCharset(QString::fromUtf8("Жx"), "ISO-2022-JP"), toCharset(QString::fromUtf8("Жx"), "ISO-2022-JP"));
}

// The fixed table against the C library's converter: every character of the Basic
// Multilingual Plane one way, every byte the other.
TEST(Composition, Windows1252TableAgreesWithIconv) {
    QStringList differences;
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const QString text = QString::fromUcs4(&cp, 1);
        if (toWindows1252(text) != toCharset(text, "WINDOWS-1252"))
            differences << QStringLiteral("U+%1").arg(static_cast<uint>(cp), 4, 16, QLatin1Char('0'));
    }
    iconv_t widen = iconv_open("UTF-32LE", "WINDOWS-1252");
    ASSERT_NE(widen, reinterpret_cast<iconv_t>(-1));
    for (int byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        char32_t wide = 0;
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(&wide);
        size_t inLeft = 1, outLeft = sizeof wide;
        // Where the code page has no character, Windows widens the byte to the same value.
        if (iconv(widen, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            wide = static_cast<char32_t>(byte);
        if (fromWindows1252(QByteArray(1, in)) != QString::fromUcs4(&wide, 1))
            differences << QStringLiteral("byte %1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    iconv_close(widen);
    EXPECT_TRUE(differences.isEmpty()) << differences.join(QLatin1Char(' ')).toStdString();
}

// The path comes from the database: only images inside the policy's folders go out, whatever
// links, FIFOs, names or sizes a row points at.
TEST(Composition, TheAttachmentPolicyAllowsOnlyImagesInsideItsFolders) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("fotos/sub") && QDir(root.path()).mkpath("fora") &&
                QDir(root.path()).mkpath("fotos-irmas"));
    const QString fotos = root.filePath("fotos");
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + "rest of the image";
    const auto put = [&](const QString& name, const QByteArray& data) {
        QFile file(root.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return root.filePath(name);
    };
    const auto link = [&](const QString& target, const QString& name) {
        EXPECT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(root.filePath(name)).constData()),
                  0);
        return root.filePath(name);
    };
    const QString secret = put("fora/segredo.png", png);
    put("fotos/ok.png", png);
    const QString fifo = root.filePath("fotos/fila.png");  // no writer: an open would wait for ever
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString linkedFolder = link(fotos, "atalho");

    const struct {
        const char* name;
        QString path;
        QString refusal;  // empty: attached
    } cases[] = {
        {"outside the folders", secret, "It is outside the attachment folders"},
        {"a folder whose name starts like an allowed one", put("fotos-irmas/x.png", png), "It is outside"},
        {"dot-dot out of the folder", fotos + "/../fora/segredo.png", "It is outside"},
        {"a symbolic link out", link(secret, "fotos/link.png"), "It leads to \"" + secret + "\", outside"},
        {"a linked folder out", link(root.filePath("fora"), "fotos/sub/fora"), "It leads to"},
        {"a FIFO", fifo, "Not a regular file"},
        {"a folder", root.filePath("fotos/sub"), "Not a regular file"},
        {"a text file named .png", put("fotos/texto.png", "just text"), "Not a PNG, JPEG, GIF, BMP or WebP image"},
        {"too large", put("fotos/grande.png", png + QByteArray(2048, 'x')),
         "Larger than 1024 bytes, the most \"max_size\""},
        {"missing", root.filePath("fotos/sumiu.png"), "No such file or directory"},
        {"a PNG", root.filePath("fotos/ok.png"), {}},
        {"a link that stays inside", link(root.filePath("fotos/ok.png"), "fotos/alias.png"), {}},
        {"through a linked folder name", linkedFolder + "/ok.png", {}},
        {"a JPEG", put("fotos/a.jpg", "\xff\xd8\xff\xe0 jfif"), {}},
        {"a GIF", put("fotos/a.gif", "GIF87a......"), {}},
        {"a BMP", put("fotos/a.bmp", "BM" + QByteArray(60, '\0')), {}},
        {"a WebP", put("fotos/a.webp", QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16)), {}},
        {"any name, an image inside", put("fotos/sem-extensao", png), {}},
    };
    CompositionOptions options = fixedOptions();
    options.attachments =
        AttachmentPolicy{{root.filePath("nao-existe"), linkedFolder}, 1024, "/etc/velocast/velocast.conf"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const ComposedMessage m = composeMessage(row("Aviso", "texto", c.path), options);
            EXPECT_TRUE(c.refusal.isEmpty()) << "attached " << c.path.toStdString();
            EXPECT_TRUE(m.lines.contains("Content-Disposition: attachment;"));
        } catch (const CompositionError& e) {
            const QString prefix = QString("Cannot open file \"%1\". ").arg(c.path);
            EXPECT_TRUE(e.text().startsWith(prefix + c.refusal) && !c.refusal.isEmpty()) << e.text().toStdString();
            if (c.refusal.contains("outside") || c.refusal.contains("max_size")) {
                EXPECT_TRUE(e.text().contains("[attachments] section of /etc/velocast/velocast.conf"))
                    << e.text().toStdString();
            }
        }
    }

    options.attachments->folders = {root.filePath("nao-existe")};
    EXPECT_THROW(composeMessage(row("Aviso", "texto", root.filePath("fotos/ok.png")), options), CompositionError);
}
