#include "outbox/sending/failure_classes.h"

#include <QRegularExpression>
#include <vector>

namespace velocast {

using mail::SmtpError;
using mail::SmtpStep;

namespace {

enum Steps : unsigned {
    kAnyStep = 0,
    kSession = 1u << 0,  // connect, greeting, EHLO, STARTTLS, AUTH
    kMail = 1u << 1,
    kRcpt = 1u << 2,
    kData = 1u << 3,  // the DATA command and the end of the data
};

unsigned stepBit(SmtpStep step) {
    switch (step) {
    case SmtpStep::Mail: return kMail;
    case SmtpStep::Rcpt: return kRcpt;
    case SmtpStep::Data:
    case SmtpStep::DataEnd: return kData;
    default: return kSession;
    }
}

// One rule: the first that matches decides. Empty patterns match anything; a reply pattern
// is matched against the three digits ("4.." is any temporary reply), the enhanced pattern
// against the whole enhanced code ("" when the reply had none: then only an empty pattern
// or "^$" matches), the text pattern anywhere in the reply's text, letter case ignored.
struct Rule {
    unsigned steps;
    const char* reply;
    const char* enhanced;
    const char* text;
    FailureClass result;
};

using C = FailureClass;

// Texts by which providers say they count messages (Microsoft 365, Google, Postfix policy
// servers) when their codes alone do not.
constexpr const char* kRateText = "rate|too many|limit|throttl|busy|quota|exceeded";

const Rule kRules[] = {
    // Throttled, whatever the step: the account sent too much, not this recipient.
    {kAnyStep, "421", "^4\\.7\\.0$", "", C::Throttled},
    {kAnyStep, "451", "^4\\.7\\.5[0-9][0-9]$", "", C::Throttled},
    {kAnyStep, "452", "^4\\.5\\.3$", "", C::Throttled},
    {kAnyStep, "550", "^5\\.4\\.5$", "", C::Throttled},
    {kAnyStep, "554", "^5\\.2\\.0$", "quota", C::Throttled},
    {kAnyStep, "4..", "^4\\.7\\.[0-9]+$", kRateText, C::Throttled},
    // Server-wide: nothing will go until the server or the account is fixed.
    {kSession, "", "", "", C::ServerWide},
    {kAnyStep, "421", "", "", C::ServerWide},
    {kAnyStep, "", "^5\\.7\\.[0-9]+$", "", C::ServerWide},
    {kMail, "", "", "", C::ServerWide},
    // Without an enhanced code, a refusal that speaks of relaying or the sender is the
    // account's, not the recipient's.
    {kRcpt | kData, "5..", "^$", "relay|authenticat|sender", C::ServerWide},
    // This recipient for now: greylisting, a full mailbox, a busy server.
    {kRcpt | kData, "4..", "", "", C::RecipientForNow},
    // This recipient for good.
    {kRcpt | kData, "5..", "^5\\.1\\.[0-9]+$", "", C::RecipientForGood},
    {kRcpt | kData, "5..", "^5\\.2\\.[12]$", "", C::RecipientForGood},
    {kRcpt, "5..", "", "", C::RecipientForGood},
    // Anything else (a message refused after the data, a lost connection): the account's
    // failure path.
    {kAnyStep, "", "", "", C::ServerWide},
};

struct CompiledRule {
    unsigned steps;
    QRegularExpression reply, enhanced, text;
    FailureClass result;
};

const std::vector<CompiledRule>& compiledRules() {
    static const std::vector<CompiledRule> rules = [] {
        std::vector<CompiledRule> out;
        for (const Rule& r : kRules)
            out.push_back(
                {r.steps, QRegularExpression(*r.reply ? QStringLiteral("^%1$").arg(QLatin1String(r.reply)) : QString()),
                 QRegularExpression(QLatin1String(r.enhanced)),
                 QRegularExpression(QLatin1String(r.text), QRegularExpression::CaseInsensitiveOption), r.result});
        return out;
    }();
    return rules;
}

bool matches(const QRegularExpression& pattern, const QString& value) {
    return pattern.pattern().isEmpty() || pattern.match(value).hasMatch();
}

PauseWindow windowOf(const SmtpError& error) {
    static const QRegularExpression daily(QStringLiteral("daily|per day|24 ?h|quota|5\\.4\\.5"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression hourly(QStringLiteral("hour"), QRegularExpression::CaseInsensitiveOption);
    const QString said = error.message() + QLatin1Char(' ') + error.enhancedCode();
    if (daily.match(said).hasMatch()) return PauseWindow::Day;
    if (hourly.match(said).hasMatch()) return PauseWindow::Hour;
    return PauseWindow::Minute;
}

}  // namespace

FailureVerdict classifySmtpFailure(const SmtpError& error) {
    const unsigned step = stepBit(error.step());
    const QString reply = error.replyCode() ? QString::number(error.replyCode()) : QString();
    for (const CompiledRule& rule : compiledRules()) {
        if (rule.steps != kAnyStep && (rule.steps & step) == 0) continue;
        if (!matches(rule.reply, reply)) continue;
        if (!matches(rule.enhanced, error.enhancedCode())) continue;
        if (!matches(rule.text, error.message())) continue;
        FailureVerdict verdict{rule.result, PauseWindow::Minute};
        if (rule.result == FailureClass::Throttled) verdict.window = windowOf(error);
        return verdict;
    }
    return {};
}

QString failureClassName(FailureClass failureClass) {
    switch (failureClass) {
    case FailureClass::ServerWide: return QStringLiteral("server-wide");
    case FailureClass::Throttled: return QStringLiteral("throttled");
    case FailureClass::RecipientForNow: return QStringLiteral("this recipient, for now");
    case FailureClass::RecipientForGood: return QStringLiteral("this recipient, for good");
    case FailureClass::RowContent: return QStringLiteral("this row's content");
    }
    return {};
}

QString fullReply(const mail::SmtpError& error) {
    QStringList lines = error.message().split(QStringLiteral("\r\n"));
    for (QString& line : lines) {
        qsizetype blanks = 0;
        while (blanks < line.size() && line.at(blanks).isSpace()) ++blanks;
        line.remove(0, blanks);
    }
    QString text = lines.join(QStringLiteral("\r\n"));
    // A code below 400 is the last reply that went well (the 220 before a TLS handshake that
    // failed): the failure is the text's, not the server's.
    if (error.replyCode() < 400) return text;
    const QString& enhanced = error.enhancedCode();
    if (!enhanced.isEmpty() && !text.startsWith(enhanced)) text = enhanced + QLatin1Char(' ') + text;
    return QStringLiteral("%1 %2").arg(error.replyCode()).arg(text).trimmed();
}

}  // namespace velocast
