#pragma once
// Members on plans, with the receipts of the months they paid.
#include <QStringList>
#include <QVariantMap>

#include "campaign_fixture.h"

struct RenewalFixture : velocast::testing::CampaignFixture {
    // A member on plan `plan` (NULL QString for none) with receipts for "MM/YYYY" months.
    void addPlanMember(const QString& email, const QString& plan, const QStringList& receipts,
                       const QVariantMap& more = {}) {
        QVariantMap columns = more;
        columns.insert(QStringLiteral("PLANOS"), plan.isNull() ? QVariant() : QVariant(plan));
        addMember(email, columns);
        const QString matricula =
            host.scalar(QStringLiteral("SELECT MAX(CAST(MATRICULA AS INTEGER)) FROM AlunosAtivos")).toString();
        for (const QString& r : receipts) addReceipt(matricula, r);
    }
    void addReceipt(const QVariant& matricula, const QString& monthYear) {
        const QString mes = monthYear.left(2), ano = monthYear.mid(3);
        host.insert(QStringLiteral("RECEB"),
                    {{QStringLiteral("MATRICULA"), matricula},
                     {QStringLiteral("MES"), numericReceipts ? QVariant(mes.toInt()) : QVariant(mes)},
                     {QStringLiteral("ANO"), numericReceipts ? QVariant(ano.toInt()) : QVariant(ano)}});
    }
    bool numericReceipts = false;
};
