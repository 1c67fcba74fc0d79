#pragma once
// The program's window: a small fixed panel with the three figures and the Sair button, plus
// the menu of the notification-area icon. Closing it only hides it; the program ends through
// "Finalizar" or an end request.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include "outbox/sending/figure.h"

namespace velocast {

// What the caption shows, and what --version prints.
QString programVersion();
QString windowCaption();  // "Velocast - 2.10v"

class TFRMVelocast : public QWidget {
    Q_OBJECT
public:
    explicit TFRMVelocast(QWidget* parent = nullptr);

    QLabel* Label2;  // "Total de Alunos enviados :"
    QLabel* LBLENVIADOS;
    QLabel* Label1;  // "Total de Alunos pendêntes :"
    QLabel* LBLPENDENTES;
    QLabel* Label3;  // "Total de E-mails inválidos :"
    QLabel* LBLINVALIDOS;
    QToolButton* BBNRETORNA;
    // One line under the figures while rows wait for a server that cannot be reached; hidden
    // otherwise. Its tooltip holds the whole line and the last failure.
    QLabel* LBLSERVIDOR;

    // The notification-area menu, in this order.
    QMenu* PopupMenu1;
    QAction* pmnuiOpen;       // "Abrir"
    QAction* pmnuiLimpa;      // "Exclusão de Alunos pendêntes"
    QAction* pmnuiHistorico;  // "Histórico…": the send history
    QAction* pmnuiExit;       // "Finalizar"

    // "Abrir" (and a double click on the icon, and a second copy of the program): show the
    // window, bring it to the front, and a notice that is open in front of it as well.
    void pmnuiOpenClick();
    // Every close ends here: the window goes out of sight but stays reachable through the
    // icon. Where there is no notification area it is minimised instead, or it could never
    // be reached again.
    void hideAway();
    // Centre of the screen, also without a window manager that would place it.
    void placeAtCentre();
    // Writes one figure into its label.
    void showFigure(Figure figure, qint32 value);
    // The outage line (empty: none) and the failure behind it.
    void showOutage(const QString& line, const QString& reason);

    // Whether a notification area is there to bring the window back; tests replace it.
    std::function<bool()> trayAvailable;

    // The font of the labels: "MS Sans Serif" 12 points where installed, else the nearest
    // sans-serif.
    static QFont labelFont();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int scaled(int pixels) const;
};

}  // namespace velocast
