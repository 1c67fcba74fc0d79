#pragma once
// The program's icon in the notification area: a double click shows the window, a right
// click opens the window's menu, a single left click does nothing. Its tooltip carries the
// three figures, so they can be read without opening the window.
#include <QDateTime>
#include <QObject>
#include <QSystemTrayIcon>

#include "outbox/sending/figure.h"

namespace velocast {

class TFRMVelocast;

class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(TFRMVelocast& window, QObject* parent = nullptr);

    // Puts the icon into the notification area (the daily run does this first).
    void add();
    // Takes it out again (the last step of the teardown).
    void remove();
    bool isShown() const { return icon_.isVisible(); }

    // Follows the window's figures.
    void showFigure(Figure figure, qint32 value);
    QString toolTip() const { return icon_.toolTip(); }
    // While sending is paused the tooltip says until when; an invalid time takes it away.
    void showPausedUntil(const QDateTime& until);
    // A line under the figures while another copy works on the database; empty: none.
    void setStandingAside(const QString& text);

    // The line saying that rows wait for an unreachable server; empty: none.
    void setOutage(const QString& line);

    // What a mouse action on the icon does.
    void activated(QSystemTrayIcon::ActivationReason reason);

private:
    void updateToolTip();

    TFRMVelocast& window_;
    QSystemTrayIcon icon_;
    qint32 sent_ = 0, pending_ = 0, invalid_ = 0;
    QDateTime pausedUntil_;
    QString standingAside_;
    QString outage_;
};

// "Velocast - 2.10v\nSent: 3\nPending: 0\nInvalid: 1" (in the person's language), and a last line
// "paused until 14:05" while sending is paused.
QString trayToolTip(qint32 sent, qint32 pending, qint32 invalid, const QDateTime& pausedUntil = {});

}  // namespace velocast
