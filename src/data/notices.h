#pragma once
// How the program tells a person that something failed. Every failure the program reports
// itself goes through MOSTRA_AVISO; an error that escapes an event handler goes through the
// default error report. The window build shows message boxes, the headless build writes a
// line on standard error, tests record what was shown.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace velocast {

// Texts shared by several subsystems.
inline const QString kContateSuporte = QStringLiteral("Entre em contato com SUPORTE !");
inline const QString kAberturaDeTabela = QStringLiteral("Abertura de tabela !");
inline const QString kGravandoNaTabela = QStringLiteral("Gravando na tabela !");
inline const QString kProblemaAoEnviar =
    QStringLiteral("Problema ao enviar e-mail ! \r Verifique seu Provedor.");

// The button a notice was closed with.
enum class NoticeAnswer { Ok, Yes, No };

class Notices {
public:
    virtual ~Notices() = default;
    // kind "!" is an information box with OK; any other kind a Yes/No question.
    virtual NoticeAnswer MOSTRA_AVISO(const QString& kind, const QString& text,
                                      const QString& detail) = 0;
    // The default error report: an error box captioned with the application title.
    virtual void reportError(const QString& errorText) = 0;
};

// What a notice looks like, whatever shows it.
QString noticeCaption(const QString& detail);                       // "Korvana" or "Velocast"
QString noticeMessage(const QString& text, const QString& detail);  // text "\n\r" detail
bool noticeIsQuestion(const QString& kind);
// The error text with a full stop added unless it already ends in a character <= '.'.
QString errorReportText(const QString& errorText);
QString applicationTitle();

// Headless: one line on standard error per notice, never blocking.
//   velocast: notice: caption="…" text="…" detail="…"
//   velocast: error: caption="…" text="…"
class StderrNotices : public Notices {
public:
    NoticeAnswer MOSTRA_AVISO(const QString& kind, const QString& text,
                              const QString& detail) override;
    void reportError(const QString& errorText) override;
    // The escaping used for both lines: \r \n \t \\ \" and \xHH for other control characters.
    static QString escape(const QString& text);
};

// Tests: remembers every notice and error report; an optional hook runs while the "box" is
// open, as timers would fire inside a real modal box.
class RecordingNotices : public Notices {
public:
    struct Shown {
        QString kind, text, detail;  // for an error report: kind "error", text the report
        bool isError() const { return kind == QLatin1String("error"); }
    };
    NoticeAnswer MOSTRA_AVISO(const QString& kind, const QString& text,
                              const QString& detail) override;
    void reportError(const QString& errorText) override;

    std::vector<Shown> shown;
    std::function<void(const Shown&)> whileOpen;
    NoticeAnswer answer = NoticeAnswer::Ok;
};

}  // namespace velocast
