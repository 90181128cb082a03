#include "ui/device_language_dialog.h"

#include "base/ui_language.h"
#include "ui/accessible_texts.h"
#include "ui/double_click_choice.h"
#include "ui/ui_fonts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace verimant {

namespace {

constexpr int kCurrentGroupHeight = 48;

QFont boldFont() {
    QFont font = windowBaseFont();
    font.setBold(true);
    return font;
}

}  // namespace

DeviceLanguageDialog::DeviceLanguageDialog(QWidget* mainWindow)
    : ChoiceWindow(mainWindow, "Form4", QSize(kClientWidth, kClientHeight),
                   kDeviceLanguageCancelled) {
    setFont(windowBaseFont());

    GroupBox1_ = new QGroupBox(this);
    GroupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1_->setFixedHeight(kCurrentGroupHeight);
    StaticText1_ = new QLabel(GroupBox1_);
    StaticText1_->setObjectName(QStringLiteral("StaticText1"));
    StaticText1_->setAlignment(Qt::AlignCenter);
    StaticText1_->setFont(boldFont());
    auto* currentLayout = new QVBoxLayout(GroupBox1_);
    currentLayout->setContentsMargins(4, 2, 4, 2);
    currentLayout->addWidget(StaticText1_);

    GroupBox2_ = new QGroupBox(this);
    GroupBox2_->setObjectName(QStringLiteral("GroupBox2"));
    ComboBox1_ = new QComboBox(GroupBox2_);
    ComboBox1_->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1_->setEditable(true);
    // Typing must never add a language that the catalogue does not know.
    ComboBox1_->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1_->setFont(boldFont());
    auto* chooseLayout = new QVBoxLayout(GroupBox2_);
    chooseLayout->setContentsMargins(4, 4, 4, 4);
    chooseLayout->addWidget(ComboBox1_);
    chooseLayout->addStretch(1);

    BitBtn2_ = new QPushButton(this);
    BitBtn2_->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2_->setDefault(true);
    BitBtn1_ = new QPushButton(this);
    BitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2_);
    buttons->addWidget(BitBtn1_);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(GroupBox1_);
    layout->addWidget(GroupBox2_, 1);
    layout->addLayout(buttons);

    connect(BitBtn2_, &QPushButton::clicked, this, &DeviceLanguageDialog::BitBtn2Click);
    connect(BitBtn1_, &QPushButton::clicked, this, &DeviceLanguageDialog::BitBtn1Click);
    new DoubleClickChoice(ComboBox1_, [this] { ComboBox1DblClick(); });
    ComboBox1_->installEventFilter(this);
    ComboBox1_->lineEdit()->installEventFilter(this);
    retranslate();
}

void DeviceLanguageDialog::retranslate() {
    setWindowTitle(PickText(QStringLiteral("Установка языка Вериманта"),
                            QStringLiteral("Select Language of Verimant")));
    BitBtn1_->setText(PickText(QStringLiteral("Отмена"), QStringLiteral("Cancel")));
    BitBtn2_->setText(PickText(QStringLiteral("OK"), QStringLiteral("OK")));
    GroupBox1_->setTitle(
        PickText(QStringLiteral("Текущий язык"), QStringLiteral("Current Language")));
    GroupBox2_->setTitle(PickText(QStringLiteral("Выбрать и установить язык"),
                                  QStringLiteral("Select and Set Language")));
    applyAccessibleTexts(this);
    if (isChoiceOpen() && offered_.currentIndex < 0) {
        StaticText1_->setText(PickText(QStringLiteral("Неопределено"), QStringLiteral("Unknown")));
    }
}

void DeviceLanguageDialog::OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                                    int& slot) {
    if (!hasLanguageChoice(catalog, currentCode)) {
        answerAtOnce(slot, kDeviceLanguageCancelled);
        return;
    }
    beginChoice(slot, kDeviceLanguagePending);
    retranslate();
    offered_ = offeredLanguages(*catalog, currentCode);
    ComboBox1_->clear();
    ComboBox1_->addItems(offered_.names);
    if (offered_.currentIndex < 0) {
        // With an empty list this selects nothing.
        ComboBox1_->setCurrentIndex(0);
        StaticText1_->setText(PickText(QStringLiteral("Неопределено"), QStringLiteral("Unknown")));
    } else {
        ComboBox1_->setCurrentIndex(offered_.currentIndex);
        StaticText1_->setText(ComboBox1_->itemText(offered_.currentIndex));
    }
    showOverMainWindow();
    ComboBox1_->setFocus();
}

void DeviceLanguageDialog::BitBtn2Click() {
    endChoice(languageChoiceResult(offered_, selectedIndex()));
}

void DeviceLanguageDialog::BitBtn1Click() {
    endChoice(kDeviceLanguageCancelled);
}

void DeviceLanguageDialog::ComboBox1DblClick() {
    BitBtn2Click();
}

int DeviceLanguageDialog::selectedIndex() const {
    const int index = ComboBox1_->currentIndex();
    if (index >= 0 && ComboBox1_->itemText(index) == ComboBox1_->currentText()) {
        return index;
    }
    return ComboBox1_->findText(ComboBox1_->currentText(), Qt::MatchExactly);
}

bool DeviceLanguageDialog::eventFilter(QObject* watched, QEvent* event) {
    // The edit field's completion would otherwise take Enter for itself, and the choice would not
    // close.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn2Click();
            return true;
        }
    }
    return ChoiceWindow::eventFilter(watched, event);
}

}  // namespace verimant
