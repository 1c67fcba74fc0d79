#pragma once
// "Histórico": the outcomes of the club's e-mails over the last days, newest first, with a
// filter by address, so the staff can answer "I never got it" and see which addresses were
// invalid or refused. It reads the send history the run writes on this machine.
#include <QWidget>

#include "state/send_history.h"

class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace velocast {

class StateDatabase;

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // A window of a few thousand rows stays quick; the filter or --history finds the rest.
    static constexpr int kShownRows = 2000;

    explicit HistoryWindow(StateDatabase& state, QWidget* parent = nullptr);

    // Reads the history again with the filter and the days as set.
    void reload();

    QLineEdit* filter;  // part of an address, any letter case
    QSpinBox* days;     // the last this many days
    QTableWidget* table;
    QLabel* status;  // how many rows, or why there are none

private:
    StateDatabase& state_;
};

// "enviado", "recusado", "inválido", "adiado", "desistido": what the window shows.
QString outcomeCaption(SendOutcome outcome);

}  // namespace velocast
