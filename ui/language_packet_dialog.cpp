#include "ui/language_packet_dialog.h"

#include "base/ui_language.h"
#include "ui/accessible_texts.h"
#include "ui/double_click_choice.h"
#include "ui/ui_fonts.h"
#include "update/update_config.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

namespace verimant {

namespace {

constexpr int kPanelMinimumWidth = 175;
constexpr int kPanelMinimumHeight = 100;
// Room beside the caption for the window manager's icon and buttons, which the caption shares.
constexpr int kCaptionReserve = 120;
// Beyond this many description lines the description scrolls rather than the dialog growing.
constexpr int kLinesShownWhole = 16;

}  // namespace

LanguagePacketDialog::LanguagePacketDialog(QWidget* mainWindow)
    : ChoiceWindow(mainWindow, "Form2", QSize(kClientWidth, kClientHeight),
                   kPacketChoiceCancelled) {
    setFont(windowBaseFont());

    auto* upper = new QWidget(this);
    upper->setObjectName(QStringLiteral("Panel1"));
    upper->setMinimumSize(kPanelMinimumWidth, kPanelMinimumHeight);
    ComboBox1_ = new QComboBox(upper);
    ComboBox1_->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1_->setEditable(false);
    Memo1_ = new QPlainTextEdit(upper);
    Memo1_->setObjectName(QStringLiteral("Memo1"));
    Memo1_->setReadOnly(true);
    Memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(4, 4, 4, 0);
    upperLayout->setSpacing(4);
    upperLayout->addWidget(ComboBox1_);
    upperLayout->addWidget(Memo1_, 1);

    BitBtn1_ = new QPushButton(this);
    BitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1_->setDefault(true);
    BitBtn2_ = new QPushButton(this);
    BitBtn2_->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 4, 4, 4);
    buttons->addWidget(BitBtn1_);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(upper, 1);
    layout->addLayout(buttons);

    connect(ComboBox1_, &QComboBox::currentIndexChanged, this,
            &LanguagePacketDialog::ComboBox1Change);
    connect(BitBtn1_, &QPushButton::clicked, this, &LanguagePacketDialog::BitBtn1Click);
    connect(BitBtn2_, &QPushButton::clicked, this, &LanguagePacketDialog::BitBtn2Click);
    new DoubleClickChoice(ComboBox1_, [this] { ComboBox1DblClick(); });
    retranslate();
}

void LanguagePacketDialog::retranslate() {
    setWindowTitle(PickText(QStringLiteral("Выбор языкового набора для прибора"),
                            QStringLiteral("Select Language Packet for Verimant")));
    BitBtn1_->setText(PickText(QStringLiteral("OK"), QStringLiteral("OK")));
    BitBtn2_->setText(PickText(QStringLiteral("Отмена"), QStringLiteral("Cancel")));
    applyAccessibleTexts(this);
}

void LanguagePacketDialog::OpenLanguagePacketDialog(const UpdateConfig& config,
                                                    const QStringList& packets, int& slot) {
    // Without a packet there is nothing to choose; an opener waiting on the slot must not hang.
    if (packets.isEmpty()) {
        answerAtOnce(slot, kPacketChoiceCancelled);
        return;
    }
    retranslate();
    beginChoice(slot, kPacketChoicePending);
    config_ = &config;
    packets_ = packets;

    const QSignalBlocker quiet(ComboBox1_);
    ComboBox1_->clear();
    const QString nameKey = PickText(QStringLiteral("NAME_L1"), QStringLiteral("NAME_L2"));
    for (int i = 0; i < packets_.size(); ++i) {
        ComboBox1_->addItem(config.readString(packetSection(i), nameKey, QStringLiteral("???")));
    }
    ComboBox1_->setCurrentIndex(0);

    fitToContents();
    showOverMainWindow();
    ShowPacketInfo(0);
    ComboBox1_->setFocus();
}

void LanguagePacketDialog::ShowPacketInfo(int index) {
    if (config_ == nullptr || index < 0 || index >= packets_.size()) {
        return;
    }
    const QStringList lines = descriptionOf(index);
    Memo1_->setPlainText(lines.join(QLatin1Char('\n')));
}

void LanguagePacketDialog::ComboBox1Change() {
    ShowPacketInfo(ComboBox1_->currentIndex());
}

void LanguagePacketDialog::BitBtn1Click() {
    endChoice(ComboBox1_->currentIndex());
}

void LanguagePacketDialog::BitBtn2Click() {
    endChoice(kPacketChoiceCancelled);
}

void LanguagePacketDialog::ComboBox1DblClick() {
    BitBtn1Click();
}

QStringList LanguagePacketDialog::descriptionOf(int index) const {
    const QString keyPrefix = PickText(QStringLiteral("INFO_L1_S"), QStringLiteral("INFO_L2_S"));
    QStringList lines;
    for (int n = 1; n <= kDescriptionLines; ++n) {
        const QString line =
            config_->readString(packetSection(index), keyPrefix + QString::number(n));
        if (line.isEmpty()) {
            break;
        }
        lines.append(line);
    }
    return lines;
}

// The design size fits neither the caption nor a description line of any length: the dialog
// grows, once per opening, until the caption and every packet's description read whole without
// a horizontal scroll bar, so changing the selection never needs one either.
void LanguagePacketDialog::fitToContents() {
    const QFontMetrics memoText = Memo1_->fontMetrics();
    int widestLine = 0;
    int mostLines = 1;
    for (int i = 0; i < packets_.size(); ++i) {
        const QStringList lines = descriptionOf(i);
        mostLines = std::max(mostLines, static_cast<int>(lines.size()));
        for (const QString& line : lines) {
            widestLine = std::max(widestLine, memoText.horizontalAdvance(line));
        }
    }
    const int memoChrome = 2 * Memo1_->frameWidth() +
                           2 * static_cast<int>(Memo1_->document()->documentMargin()) +
                           style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12;
    const QFontMetrics captionText(QApplication::font("QMdiSubWindowTitleBar"));
    const int width =
        std::max({kClientWidth, ComboBox1_->sizeHint().width() + 8, widestLine + memoChrome,
                  captionText.horizontalAdvance(windowTitle()) + kCaptionReserve});
    const int memoHeight =
        std::min(mostLines, kLinesShownWhole) * memoText.lineSpacing() + memoChrome;
    const int height =
        std::max(kClientHeight, sizeHint().height() - Memo1_->sizeHint().height() + memoHeight);
    const QRect screenArea = screen()->availableGeometry();
    // Even sizes keep the dialog's centre on the main window's to the pixel.
    resize(std::min(width + width % 2, screenArea.width()),
           std::min(height + height % 2, screenArea.height()));
}

QString LanguagePacketDialog::packetSection(int index) const {
    return QString::fromLatin1(kLanguageSectionPrefix) + packets_.at(index);
}

}  // namespace verimant
