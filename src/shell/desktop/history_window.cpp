#include "shell/desktop/history_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "calendar/clock.h"
#include "shell/desktop/main_window.h"
#include "state/state_database.h"

namespace velocast {

QString outcomeCaption(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::Sent: return QStringLiteral("enviado");
    case SendOutcome::Refused: return QStringLiteral("recusado");
    case SendOutcome::Invalid: return QStringLiteral("inválido");
    case SendOutcome::Deferred: return QStringLiteral("adiado");
    case SendOutcome::GivenUp: return QStringLiteral("desistido");
    }
    return {};
}

HistoryWindow::HistoryWindow(StateDatabase& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("Histórico - ") + windowCaption());
    filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("filter"));
    filter->setPlaceholderText(QStringLiteral("Filtrar por endereço"));
    filter->setClearButtonEnabled(true);
    days = new QSpinBox(this);
    days->setObjectName(QStringLiteral("days"));
    days->setRange(1, 36500);
    days->setValue(7);
    days->setPrefix(QStringLiteral("Últimos "));
    days->setSuffix(QStringLiteral(" dias"));
    table = new QTableWidget(0, 7, this);
    table->setObjectName(QStringLiteral("table"));
    table->setHorizontalHeaderLabels({QStringLiteral("Quando"), QStringLiteral("Resultado"), QStringLiteral("Endereço"),
                                      QStringLiteral("Assunto"), QStringLiteral("Campanha"),
                                      QStringLiteral("Resposta do servidor"), QStringLiteral("Message-ID")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);
    status->setTextFormat(Qt::PlainText);

    auto* top = new QHBoxLayout;
    top->addWidget(filter, 1);
    top->addWidget(days);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table, 1);
    layout->addWidget(status);
    resize(900, 420);

    connect(filter, &QLineEdit::textChanged, this, &HistoryWindow::reload);
    connect(days, &QSpinBox::valueChanged, this, &HistoryWindow::reload);
}

void HistoryWindow::reload() {
    table->setRowCount(0);
    if (!state_.isOpen()) {
        status->setText(
            QStringLiteral("O histórico não está disponível: o banco de estado local não pôde ser aberto "
                           "(veja [state] database no velocast.conf)."));
        return;
    }
    HistoryFilter query;
    query.address = filter->text();
    query.addressPart = true;
    query.since = localNow().addDays(-days->value());
    query.limit = kShownRows;
    QList<HistoryEntry> entries;
    QString error;
    if (!SendHistory(state_).read(
            query, [&](const HistoryEntry& e) { entries << e; }, &error)) {
        status->setText(error);
        return;
    }
    table->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < entries.size(); ++row) {
        const HistoryEntry& e = entries.at(row);
        const QStringList cells{e.at.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                outcomeCaption(e.outcome),
                                e.address,
                                e.subject,
                                e.campaign,
                                e.reply,
                                e.messageId};
        // What did not reach the member stands out.
        const bool failed =
            e.outcome == SendOutcome::Invalid || e.outcome == SendOutcome::Refused || e.outcome == SendOutcome::GivenUp;
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            if (failed) item->setForeground(QColor(255, 0, 0));
            table->setItem(row, column, item);
        }
    }
    table->resizeColumnsToContents();
    status->setText(
        entries.size() >= kShownRows
            ? QStringLiteral("Mostrando os %1 mais recentes; filtre por endereço ou use velocast --history.")
                  .arg(kShownRows)
            : QStringLiteral("%1 registro(s).").arg(entries.size()));
}

}  // namespace velocast
