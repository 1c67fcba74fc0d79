#pragma once
// The language of the texts the program writes for a person: Portuguese where the person reads
// Portuguese (of any country), English otherwise. The captions and notices that the club's own
// system has always shown (the window, the tray menu, the notices) are the same in both.
#include <QString>
#include <QStringList>

namespace velocast {

// The program's language for a person whose languages are `uiLanguages`, most preferred first
// ("pt-BR", "en-US", "C"…): "pt_BR" or "en"; `otherwise` when none of them is either.
QString languageFor(const QStringList& uiLanguages, const QString& otherwise = QStringLiteral("en"));
// What a system whose language is neither gets: English on Linux; on Windows, where the
// program is installed for the clubs' desks, Portuguese.
QString defaultLanguage();

// Installs the translation for the system's locale (LANGUAGE, LC_ALL, LC_MESSAGES and LANG
// on Linux; the display language on Windows) on the running application; returns the
// language chosen. Call once an application object exists.
QString useSystemLanguage();

}  // namespace velocast
