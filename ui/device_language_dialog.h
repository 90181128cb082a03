#pragma once

#include "ui/choice_window.h"
#include "update/device_language_chooser.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace verimant {

// Form4: the user picks the instrument's display language among those of the packet just
// installed. The instrument's present language is named at the top and pre-selected.
class DeviceLanguageDialog final : public ChoiceWindow, public DeviceLanguageChooser {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 340;
    static constexpr int kClientHeight = 167;

    explicit DeviceLanguageDialog(QWidget* mainWindow);

    void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                  int& slot) override;

    // Handlers, callable as the controls call them.
    void BitBtn2Click();  // OK
    void BitBtn1Click();  // Cancel
    void ComboBox1DblClick();

protected:
    void retranslate() override;
    void cancelChoice() override { BitBtn1Click(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The item the user settled on; a typed text that names no item selects nothing.
    int selectedIndex() const;

    QGroupBox* GroupBox1_ = nullptr;
    QLabel* StaticText1_ = nullptr;
    QGroupBox* GroupBox2_ = nullptr;
    QComboBox* ComboBox1_ = nullptr;
    QPushButton* BitBtn2_ = nullptr;
    QPushButton* BitBtn1_ = nullptr;
    OfferedLanguages offered_;
};

}  // namespace verimant
