#pragma once
// The program's window: the three figures. Closing it only hides it; the program ends through
// an end request.
#include <QLabel>
#include <QWidget>

namespace velocast {

class TFRMVelocast : public QWidget {
    Q_OBJECT
public:
    explicit TFRMVelocast(QWidget* parent = nullptr);

    QLabel* LBLENVIADOS;
    QLabel* LBLPENDENTES;
    QLabel* LBLINVALIDOS;

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace velocast
