#pragma once
// How the program tells a person that something failed. Every failure the program reports
// itself goes through MOSTRA_AVISO; an error that escapes an event handler goes through the
// default error report. The window build shows message boxes (the shell's), the headless
// build writes a line on standard error.
#include <QString>

namespace velocast {

// Texts shared by several subsystems.
inline const QString kContateSuporte = QStringLiteral("Entre em contato com SUPORTE !");
inline const QString kAberturaDeTabela = QStringLiteral("Abertura de tabela !");
inline const QString kGravandoNaTabela = QStringLiteral("Gravando na tabela !");
inline const QString kProblemaAoEnviar = QStringLiteral("Problema ao enviar e-mail ! \r Verifique seu Provedor.");

class Notices {
public:
    virtual ~Notices() = default;
    // An information box with OK. `kind` is "!" wherever the program shows one.
    virtual void MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) = 0;
    // A notice after which the program ends (a refused send): the same notice, and where a
    // person reads it in a box, the box also says that Velocast ends.
    virtual void endingNotice(const QString& text, const QString& detail) {
        MOSTRA_AVISO(QStringLiteral("!"), text, detail);
    }
    // The default error report: an error box captioned with the application title.
    virtual void reportError(const QString& errorText) = 0;
};

// What a notice looks like, whatever shows it.
QString noticeCaption(const QString& detail);                       // "Korvana" or "Velocast"
QString noticeMessage(const QString& text, const QString& detail);  // text "\n\r" detail
// The error text with a full stop added unless it already ends in a character <= '.'.
QString errorReportText(const QString& errorText);
QString applicationTitle();

// Headless: one line on standard error per notice, never blocking.
//   velocast: notice: caption="…" text="…" detail="…"
//   velocast: error: caption="…" text="…"
class StderrNotices : public Notices {
public:
    void MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) override;
    void reportError(const QString& errorText) override;
    // The escaping used for both lines: \r \n \t \\ \" and \xHH for other control characters.
    static QString escape(const QString& text);
};

}  // namespace velocast
