#include "report/daily_report.h"

#include "report/csv_field.h"

namespace velocast {
namespace {

// Addresses, campaigns and replies come from the club's tables and from mail servers: no
// control character of theirs reaches the mail or the terminal.
QString plain(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    return out.trimmed();
}

QString campaignName(const QString& campaign) {
    return campaign.isEmpty() ? QStringLiteral("(sem campanha)") : plain(campaign);
}

QString number(const std::optional<int>& n) { return n ? QString::number(*n) : QStringLiteral("-"); }

QString csvLine(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields) out << csvField(f);
    return out.join(u',');
}

}  // namespace

DailyReport composeDailyReport(const DailyReportInput& input) {
    const DayOutcomes& day = input.day;
    const QString date = day.date.toString(QStringLiteral("dd/MM/yyyy"));
    const QString isoDate = day.date.toString(Qt::ISODate);
    DailyReport report;
    report.subject = QStringLiteral("Velocast: relatório de e-mails de %1").arg(date);
    report.csvLines << QStringLiteral(
        "data,tipo,campanha,escritos,enviados,adiados,desistidos,invalidos,suprimidos,devolvidos,descadastrados,"
        "endereco,nome,numero,detalhe");

    QStringList text;
    text << QStringLiteral("Relatório de e-mails do dia %1").arg(date) << QString();

    // Per campaign, with a total row when there is more than one.
    text << QStringLiteral("E-mails por campanha:");
    if (day.campaigns.isEmpty()) {
        text << QStringLiteral("  Nenhum e-mail registrado neste dia.");
    } else {
        int nameWidth = 8;
        for (const CampaignOutcomes& c : day.campaigns)
            nameWidth = std::max<int>(nameWidth, campaignName(c.campaign).size());
        const QStringList heads{QStringLiteral("Escritos"),  QStringLiteral("Enviados"),
                                QStringLiteral("Adiados"),   QStringLiteral("Desistidos"),
                                QStringLiteral("Inválidos"), QStringLiteral("Suprimidos")};
        auto row = [&](const QString& name, const QStringList& values) {
            QString line = QStringLiteral("  ") + name.leftJustified(nameWidth);
            for (qsizetype i = 0; i < values.size(); ++i)
                line += QStringLiteral("  ") + values[i].rightJustified(heads[i].size());
            return line;
        };
        text << row(QStringLiteral("Campanha"), heads);
        CampaignOutcomes total;
        bool writtenKnown = true;
        for (const CampaignOutcomes& c : day.campaigns) {
            text << row(campaignName(c.campaign),
                        {number(c.written), QString::number(c.sent), QString::number(c.deferred),
                         QString::number(c.givenUp), QString::number(c.invalid), QString::number(c.suppressed)});
            report.csvLines << csvLine({isoDate, QStringLiteral("campanha"), plain(c.campaign),
                                        c.written ? QString::number(*c.written) : QString(), QString::number(c.sent),
                                        QString::number(c.deferred), QString::number(c.givenUp),
                                        QString::number(c.invalid), QString::number(c.suppressed),
                                        QString::number(c.bounced), QString::number(c.optedOut), QString(), QString(),
                                        QString(), QString()});
            writtenKnown = writtenKnown && c.written.has_value();
            total.written = total.written.value_or(0) + c.written.value_or(0);
            total.sent += c.sent;
            total.deferred += c.deferred;
            total.givenUp += c.givenUp;
            total.invalid += c.invalid;
            total.suppressed += c.suppressed;
        }
        if (!writtenKnown) total.written.reset();
        if (day.campaigns.size() > 1)
            text << row(QStringLiteral("Total"), {number(total.written), QString::number(total.sent),
                                                  QString::number(total.deferred), QString::number(total.givenUp),
                                                  QString::number(total.invalid), QString::number(total.suppressed)});
    }

    auto addresses = [&](const char* outcome, const QString& title, const QString& kind) {
        text << QString() << title;
        bool any = false;
        for (const AddressOutcome& a : day.addresses) {
            if (a.outcome != QLatin1String(outcome)) continue;
            any = true;
            const std::optional<MemberReference> member =
                input.memberOf ? input.memberOf(a.address) : std::optional<MemberReference>();
            QString line = QStringLiteral("  %1  %2").arg(a.at.toString(QStringLiteral("HH:mm")), plain(a.address));
            if (member && !member->name.isEmpty()) line += QStringLiteral("  ") + plain(member->name);
            if (member && !member->number.isEmpty()) line += QStringLiteral(" (nº %1)").arg(plain(member->number));
            line += QStringLiteral("  ") + campaignName(a.campaign);
            if (!a.detail.isEmpty()) line += QStringLiteral("  ") + plain(a.detail);
            text << line;
            report.csvLines << csvLine({isoDate, kind, plain(a.campaign), QString(), QString(), QString(), QString(),
                                        QString(), QString(), QString(), QString(), plain(a.address),
                                        member ? plain(member->name) : QString(),
                                        member ? plain(member->number) : QString(), plain(a.detail)});
        }
        if (!any) text << QStringLiteral("  Nenhum.");
    };
    addresses(kOutcomeBounced, QStringLiteral("Endereços devolvidos (corrija o e-mail no cadastro do aluno):"),
              QStringLiteral("devolvido"));
    addresses(kOutcomeOptedOut,
              QStringLiteral("Descadastramentos (o aluno pediu para não receber mais e-mails de marketing):"),
              QStringLiteral("descadastrado"));

    text << QString() << QStringLiteral("Avisos que pedem uma pessoa:");
    for (const QString& w : input.warnings) {
        text << QStringLiteral("  - ") + plain(w);
        report.csvLines << csvLine({isoDate, QStringLiteral("aviso"), QString(), QString(), QString(), QString(),
                                    QString(), QString(), QString(), QString(), QString(), QString(), QString(),
                                    QString(), plain(w)});
    }
    if (input.warnings.isEmpty()) text << QStringLiteral("  Nenhum.");
    report.text = text.join(u'\n') + u'\n';
    return report;
}

}  // namespace velocast
