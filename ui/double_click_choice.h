#pragma once

#include <QObject>

#include <functional>

class QComboBox;

namespace verimant {

// The choice windows' drop-down list: a double click on its field, or on an item of its open list,
// closes the window with OK. In the open list the item under the pointer becomes the choice first,
// since the double click lands on the popup rather than on the field.
class DoubleClickChoice final : public QObject {
public:
    // Watches `combo` (and its edit line and open list) from now on; owned by `combo`.
    DoubleClickChoice(QComboBox* combo, std::function<void()> confirm);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* combo_;
    std::function<void()> confirm_;
};

}  // namespace verimant
