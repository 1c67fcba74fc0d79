// Composition checked against what only POSIX systems give the tests: Python's standard email
// package reading every shape back as a mail reader does, the C library's iconv as an
// independent decoder, and FIFOs and symbolic links as attachment paths.
#include "composition_fixture.h"
#include "mail/mime/body_wrap.h"
#include "mail/mime/encoded_words.h"
#include "mail/mime/windows1252.h"
#include "support/parsed_message.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;

namespace {

QJsonObject parseBack(const ComposedMessage& message) { return velocast::testing::parsedByPython(message.lines); }

QStringList strings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray()) out.append(v.toString());
    return out;
}

}  // namespace

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
