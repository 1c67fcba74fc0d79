#pragma once
// The three figures the sender shows while it drains the outbox.
#include <QString>

namespace velocast {

enum class Figure {
    Sent,     // e-mails the server accepted this run
    Pending,  // rows left in the outbox
    Invalid,  // rows discarded this run for their address
};

// The window's label that shows the figure.
inline QString figureLabel(Figure figure) {
    switch (figure) {
    case Figure::Sent: return QStringLiteral("LBLENVIADOS");
    case Figure::Pending: return QStringLiteral("LBLPENDENTES");
    case Figure::Invalid: return QStringLiteral("LBLINVALIDOS");
    }
    return QString();
}

}  // namespace velocast
