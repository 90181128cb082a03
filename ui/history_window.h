#pragma once

#include "update/run_history.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace verimant {

// File → History: every recorded upgrade and write of this user, newest first, with a filter
// by serial number. Reads the same database as 'verimant-cli history'.
class HistoryWindow : public QDialog {
public:
    explicit HistoryWindow(QWidget* parent, QString path = RunHistory::defaultPath());

    // Reads the rows again, through the serial-number filter.
    void reload();

private:
    void fillRow(int index, const HistoryRow& row);

    QString path_;
    QLineEdit* serialFilter_;
    QTableWidget* table_;
    QLabel* notice_;
};

// Opens the history window over `parent` (one at a time; it deletes itself when closed).
void showHistoryWindow(QWidget* parent);

}  // namespace verimant
