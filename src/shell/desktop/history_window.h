#pragma once
// "Histórico": the outcomes of the club's e-mails over the last days, newest first, with a
// filter by address, so the staff can answer "I never got it" and see which addresses were
// invalid or refused. It reads the send history the run writes on this machine.
#include <QTimer>
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
    // Something was written to the history: read again shortly (several outcomes of one
    // drain make one reload), while the window is shown.
    void historyChanged();

    QLineEdit* filter;  // part of an address, any letter case
    QSpinBox* days;     // the last this many days
    QTableWidget* table;
    QLabel* status;  // how many rows, or why there are none

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Size and place, kept in the desktop's settings of this account.
    void restorePlace();
    void keepPlace();
    // Long texts must not push the server's reply out of sight.
    void fitColumns();

    StateDatabase& state_;
    QTimer reloadSoon_;
    QList<int> naturalWidths_;  // what each column's contents would take
};

// Where the window keeps its size and place: the desktop's per-user settings (the registry on
// Windows, ~/.config/velocast/desktop.conf elsewhere), not velocast.conf.
inline constexpr const char* kDesktopSettingsOrganization = "velocast";
inline constexpr const char* kDesktopSettingsApplication = "desktop";

// What the address column shows: the address, or which outbox row had none.
QString historyAddressCell(const HistoryEntry& entry);

// "enviado", "recusado", "inválido", "adiado", "desistido", and "removed by the staff" in
// the staff's language: what the window shows.
QString outcomeCaption(SendOutcome outcome);

}  // namespace velocast
