#include "shell/translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace velocast {

QString languageFor(const QStringList& uiLanguages, const QString& otherwise) {
    for (const QString& language : uiLanguages) {
        if (language.startsWith(QLatin1String("pt"), Qt::CaseInsensitive)) return QStringLiteral("pt_BR");
        // A language the program does not speak lets the next preference choose.
        if (language.startsWith(QLatin1String("en"), Qt::CaseInsensitive) || language == QLatin1String("C"))
            return QStringLiteral("en");
    }
    return otherwise;
}

QString defaultLanguage() {
#ifdef Q_OS_WIN
    return QStringLiteral("pt_BR");
#else
    return QStringLiteral("en");
#endif
}

QString useSystemLanguage() {
    const QString language = languageFor(QLocale::system().uiLanguages(), defaultLanguage());
    if (language == QLatin1String("en")) return language;  // the texts are written in English
    // Built into the program: nothing to install or lose beside it.
    static QTranslator translator;
    if (translator.isEmpty() &&
        !translator.load(QStringLiteral(":/velocast/translations/velocast_%1.qm").arg(language)))
        return QStringLiteral("en");
    QCoreApplication::installTranslator(&translator);
    return language;
}

}  // namespace velocast
