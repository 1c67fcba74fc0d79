#include "shell/main_window.h"

#include <QCloseEvent>
#include <QFormLayout>

namespace velocast {

TFRMVelocast::TFRMVelocast(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Velocast"));
    auto* layout = new QFormLayout(this);
    LBLENVIADOS = new QLabel(QStringLiteral("0"), this);
    LBLPENDENTES = new QLabel(QStringLiteral("0"), this);
    LBLINVALIDOS = new QLabel(QStringLiteral("0"), this);
    LBLENVIADOS->setObjectName(QStringLiteral("LBLENVIADOS"));
    LBLPENDENTES->setObjectName(QStringLiteral("LBLPENDENTES"));
    LBLINVALIDOS->setObjectName(QStringLiteral("LBLINVALIDOS"));
    layout->addRow(QStringLiteral("E-mails enviados:"), LBLENVIADOS);
    layout->addRow(QStringLiteral("E-mails pendentes:"), LBLPENDENTES);
    layout->addRow(QStringLiteral("E-mails inválidos:"), LBLINVALIDOS);
}

void TFRMVelocast::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

}  // namespace velocast
