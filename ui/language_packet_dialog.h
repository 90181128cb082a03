#pragma once

#include "ui/choice_window.h"
#include "update/packet_chooser.h"

#include <QStringList>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace verimant {

// Form2: the user picks the language packet to install. Each packet's display name is listed,
// the selected one's description shown below; the result is the packet's position in the list.
class LanguagePacketDialog final : public ChoiceWindow, public PacketChooser {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 198;
    static constexpr int kClientHeight = 158;
    // Description lines are numbered from 1; a gap in the numbering ends the description.
    static constexpr int kDescriptionLines = 31;

    explicit LanguagePacketDialog(QWidget* mainWindow);

    void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                  int& slot) override;
    // Shows the description of the packet at `index`; nothing happens outside the list.
    void ShowPacketInfo(int index);

    // Handlers, callable as the controls call them.
    void ComboBox1Change();
    void BitBtn1Click();  // OK
    void BitBtn2Click();  // Cancel
    void ComboBox1DblClick();

protected:
    void retranslate() override;
    void cancelChoice() override { BitBtn2Click(); }

private:
    QString packetSection(int index) const;
    QStringList descriptionOf(int index) const;
    void fitToContents();

    QComboBox* ComboBox1_ = nullptr;
    QPlainTextEdit* Memo1_ = nullptr;
    QPushButton* BitBtn1_ = nullptr;
    QPushButton* BitBtn2_ = nullptr;
    const UpdateConfig* config_ = nullptr;
    QStringList packets_;
};

}  // namespace verimant
