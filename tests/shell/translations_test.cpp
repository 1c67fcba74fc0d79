// The program's own texts in Portuguese: every text marked for translation has one, the
// language follows the person's locale, and the built program speaks it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include "shell/translations.h"
#include "support/source_tree.h"
#include "support/velocast_process.h"

using namespace velocast;
using namespace velocast::testing;

// lupdate run over the sources into a copy of the tree's .ts marks every text that has no
// translation yet "unfinished": a text added without its Portuguese fails here.
TEST(Translations, EveryTextOfTheSourcesHasItsPortuguese) {
    const QString lupdate =
        QStandardPaths::findExecutable(QStringLiteral("lupdate"), {QStringLiteral("/usr/lib/qt6/bin")});
    ASSERT_FALSE(lupdate.isEmpty()) << "lupdate is missing (Debian qt6-l10n-tools; scripts/setup.sh installs it)";
    QTemporaryDir folder;
    const QString ts = folder.filePath(QStringLiteral("velocast_pt_BR.ts"));
    ASSERT_TRUE(QFile::copy(sourceTreePath(QStringLiteral("src/shell/translations/velocast_pt_BR.ts")), ts));
    QFile::setPermissions(ts, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QProcess run;
    run.start(lupdate, {QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-no-obsolete"),
                        QStringLiteral("-extensions"), QStringLiteral("cpp,h"), sourceTreePath(QStringLiteral("src")),
                        QStringLiteral("-ts"), ts});
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    QFile file(ts);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList untranslated;
    int messages = 0;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("message")) ++messages;
        else if (xml.name() == QLatin1String("source")) source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const bool empty = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().isEmpty();
            if (unfinished || empty) untranslated << source;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 0);
    EXPECT_TRUE(untranslated.isEmpty()) << "no Portuguese in src/shell/translations/velocast_pt_BR.ts for:\n"
                                        << untranslated.join(QStringLiteral("\n---\n")).toStdString();
}

TEST(Translations, PortugueseOfAnyCountryOtherwiseEnglish) {
    const struct {
        QStringList languages;
        const char* chosen;
    } cases[] = {
        {{QStringLiteral("pt-BR")}, "pt_BR"},
        {{QStringLiteral("pt-PT"), QStringLiteral("pt")}, "pt_BR"},
        {{QStringLiteral("C")}, "en"},
        {{QStringLiteral("en-US"), QStringLiteral("pt-BR")}, "en"},
        // a language the program does not speak lets the next one choose
        {{QStringLiteral("fr-FR"), QStringLiteral("pt-BR")}, "pt_BR"},
        {{QStringLiteral("de-DE")}, "en"},
        {{}, "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(languageFor(c.languages), QLatin1String(c.chosen)) << c.languages.join(u',').toStdString();
    EXPECT_EQ(languageFor({QStringLiteral("de-DE")}, QStringLiteral("pt_BR")), QLatin1String("pt_BR"));
}

// The environment of a console in the given locale.
QProcessEnvironment console(const QString& lang, const QString& language = QString()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("LANG"), lang);
    if (!language.isEmpty()) environment.insert(QStringLiteral("LANGUAGE"), language);
    return environment;
}

TEST(Translations, TheProgramSpeaksTheConsolesLanguage) {
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("missing.udl"));
    const struct {
        const char* name;
        QProcessEnvironment environment;
        const char* help;
        const char* check;
    } cases[] = {
        {"pt_BR", console(QStringLiteral("pt_BR.UTF-8")), "Uso: velocast", "arquivo de vínculo de dados"},
        {"C", console(QStringLiteral("C.UTF-8")), "Usage: velocast", "data-link file"},
        {"LANGUAGE before LANG", console(QStringLiteral("en_US.UTF-8"), QStringLiteral("pt_BR:en")), "Uso: velocast",
         "arquivo de vínculo de dados"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto help = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--help")}, 60000, c.environment);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.startsWith(QLatin1String(c.help))) << help.out.left(200).toStdString();
        const auto check =
            runBuiltProgram(QStringLiteral("velocast"),
                            {QStringLiteral("--check"), QStringLiteral("--data-link"), missing}, 60000, c.environment);
        EXPECT_TRUE(check.out.contains(QString::fromUtf8(c.check) + QLatin1Char(' ') + missing))
            << check.out.toStdString();
    }
}
