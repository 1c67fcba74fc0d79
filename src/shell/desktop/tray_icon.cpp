#include "shell/desktop/tray_icon.h"

#include "outbox/sending/figures_line.h"
#include "shell/desktop/main_window.h"
#include "shell/desktop/program_icon.h"

namespace velocast {

QString trayToolTip(qint32 sent, qint32 pending, qint32 invalid, const QDateTime& pausedUntil) {
    QString tip = windowCaption() + QLatin1Char('\n') +
                  TrayIcon::tr("Sent: %1\nPending: %2\nInvalid: %3")
                      .arg(formatFigure(sent), formatFigure(pending), formatFigure(invalid));
    if (pausedUntil.isValid())
        tip += QLatin1Char('\n') + TrayIcon::tr("paused until %1").arg(pausedUntil.toString(QStringLiteral("HH:mm")));
    return tip;
}

TrayIcon::TrayIcon(TFRMVelocast& window, QObject* parent) : QObject(parent), window_(window) {
    icon_.setIcon(programIcon());
    // The platform opens this menu on a right click, at the mouse.
    icon_.setContextMenu(window_.PopupMenu1);
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::activated);
    updateToolTip();
}

void TrayIcon::add() { icon_.show(); }

void TrayIcon::remove() { icon_.hide(); }

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason) {
    // A single click must do nothing: a double click begins with one.
    if (reason == QSystemTrayIcon::DoubleClick) window_.pmnuiOpenClick();
}

void TrayIcon::showFigure(Figure figure, qint32 value) {
    switch (figure) {
    case Figure::Sent: sent_ = value; break;
    case Figure::Pending: pending_ = value; break;
    case Figure::Invalid: invalid_ = value; break;
    }
    updateToolTip();
}

void TrayIcon::showPausedUntil(const QDateTime& until) {
    pausedUntil_ = until;
    updateToolTip();
}

void TrayIcon::setStandingAside(const QString& text) {
    standingAside_ = text;
    updateToolTip();
}

void TrayIcon::setOutage(const QString& line) {
    outage_ = line;
    updateToolTip();
}

void TrayIcon::updateToolTip() {
    QString tip = trayToolTip(sent_, pending_, invalid_, pausedUntil_);
    if (!outage_.isEmpty()) tip += QLatin1Char('\n') + outage_;
    if (!standingAside_.isEmpty()) tip += QLatin1Char('\n') + standingAside_;
    icon_.setToolTip(tip);
}

}  // namespace velocast
