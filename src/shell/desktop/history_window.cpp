#include "shell/desktop/history_window.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "calendar/clock.h"
#include "shell/desktop/main_window.h"
#include "state/state_database.h"

namespace velocast {

QString outcomeCaption(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::Sent: return HistoryWindow::tr("sent");
    case SendOutcome::Refused: return HistoryWindow::tr("refused");
    case SendOutcome::Invalid: return HistoryWindow::tr("invalid");
    case SendOutcome::Deferred: return HistoryWindow::tr("deferred");
    case SendOutcome::GivenUp: return HistoryWindow::tr("given up");
    case SendOutcome::Bounced: return HistoryWindow::tr("bounced");
    case SendOutcome::Suppressed: return HistoryWindow::tr("suppressed");
    case SendOutcome::RemovedByStaff: return HistoryWindow::tr("removed by the staff");
    case SendOutcome::OptedOut: return HistoryWindow::tr("opted out");
    }
    return {};
}

QString historyAddressCell(const HistoryEntry& entry) {
    if (!entry.address.isEmpty()) return entry.address;
    if (entry.outboxRow > 0) return HistoryWindow::tr("(no address: outbox row %1)").arg(entry.outboxRow);
    return HistoryWindow::tr("(no address)");
}

namespace {

QSettings desktopSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kDesktopSettingsOrganization),
                     QLatin1String(kDesktopSettingsApplication));
}

const QString kGeometryKey = QStringLiteral("history/geometry");

enum Column { When, Outcome, Address, Subject, Campaign, Reply, MessageId, Columns };

}  // namespace

HistoryWindow::HistoryWindow(StateDatabase& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(tr("History - %1").arg(windowCaption()));
    filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("filter"));
    filter->setPlaceholderText(tr("Filter by address"));
    filter->setClearButtonEnabled(true);
    days = new QSpinBox(this);
    days->setObjectName(QStringLiteral("days"));
    days->setRange(1, 36500);
    days->setValue(7);
    // The number sits inside the sentence: "Last 7 days".
    days->setPrefix(tr("Last "));
    days->setSuffix(tr(" days"));
    table = new QTableWidget(0, Columns, this);
    table->setObjectName(QStringLiteral("table"));
    table->setHorizontalHeaderLabels({tr("When"), tr("Outcome"), tr("Address"), tr("Subject"), tr("Campaign"),
                                      tr("Server's reply"), QStringLiteral("Message-ID")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->setTextElideMode(Qt::ElideRight);
    table->setWordWrap(false);
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
    restorePlace();

    connect(filter, &QLineEdit::textChanged, this, &HistoryWindow::reload);
    connect(days, &QSpinBox::valueChanged, this, &HistoryWindow::reload);
    reloadSoon_.setSingleShot(true);
    reloadSoon_.setInterval(500);
    connect(&reloadSoon_, &QTimer::timeout, this, &HistoryWindow::reload);
}

void HistoryWindow::historyChanged() {
    if (isVisible() && !reloadSoon_.isActive()) reloadSoon_.start();
}

void HistoryWindow::restorePlace() {
    const QByteArray geometry = desktopSettings().value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
}

void HistoryWindow::keepPlace() { desktopSettings().setValue(kGeometryKey, saveGeometry()); }

void HistoryWindow::closeEvent(QCloseEvent* event) {
    keepPlace();
    QWidget::closeEvent(event);
}

void HistoryWindow::hideEvent(QHideEvent* event) {
    keepPlace();
    QWidget::hideEvent(event);
}

void HistoryWindow::fitColumns() {
    if (naturalWidths_.size() != Columns) return;
    // The time and the outcome are short; the free texts get at most a fifth of the view each,
    // elided with the whole text in the tooltip, and the server's reply what is left.
    const int view = table->viewport()->width();
    const int widest = std::max(120, view / 5);
    int others = 0;
    for (int column = 0; column < Columns; ++column) {
        if (column == Reply) continue;
        const bool freeText = column == Address || column == Subject || column == Campaign || column == MessageId;
        const int width = freeText ? std::min(naturalWidths_.at(column), widest) : naturalWidths_.at(column);
        table->setColumnWidth(column, width);
        if (column != MessageId) others += width;
    }
    table->setColumnWidth(
        Reply, std::clamp(view - others - table->columnWidth(MessageId), 200, std::max(200, naturalWidths_.at(Reply))));
}

void HistoryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitColumns();
}

void HistoryWindow::reload() {
    // A reload while the person reads further down keeps the place they read.
    const int scrolled = table->verticalScrollBar()->value();
    table->setRowCount(0);
    if (!state_.isOpen()) {
        status->setText(
            tr("The history is not available: the local state database could not be opened "
               "(see [state] database in velocast.conf)."));
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
                                historyAddressCell(e),
                                e.subject,
                                e.campaign,
                                e.reply,
                                e.messageId};
        // What did not reach the member stands out.
        const bool failed = e.outcome == SendOutcome::Invalid || e.outcome == SendOutcome::Refused ||
                            e.outcome == SendOutcome::GivenUp || e.outcome == SendOutcome::Bounced ||
                            e.outcome == SendOutcome::Suppressed;
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            // A cell too narrow for its text shows the whole of it on hovering.
            item->setToolTip(cells.at(column));
            if (failed) item->setForeground(QColor(255, 0, 0));
            table->setItem(row, column, item);
        }
    }
    table->resizeColumnsToContents();
    naturalWidths_.clear();
    for (int column = 0; column < Columns; ++column) naturalWidths_.append(table->columnWidth(column));
    fitColumns();
    table->verticalScrollBar()->setValue(scrolled);
    status->setText(entries.size() >= kShownRows
                        ? tr("Showing the %1 most recent; filter by address or use velocast --history.").arg(kShownRows)
                        : tr("%n record(s).", nullptr, static_cast<int>(entries.size())));
}

}  // namespace velocast
