#include "ui/bottom_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace verimant {

namespace {

constexpr int kPanelHeight = 29;
constexpr int kComWidth = 65;
constexpr int kConnectionWidth = 55;
constexpr int kProgressWidth = 175;

QLabel* makeBevelPanel(QWidget* parent, const char* name, int width) {
    auto* panel = new QLabel(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFixedWidth(width);
    return panel;
}

QWidget* makeInfoArea(QWidget* parent, QLabel*& text, QProgressBar*& bar) {
    auto* area = new QWidget(parent);
    area->setObjectName(QStringLiteral("Panel_BottomInfo"));
    auto* layout = new QHBoxLayout(area);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->setSpacing(4);
    text = new QLabel(area);
    text->setObjectName(QStringLiteral("Panel_Bottom_Info_Text"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar = new QProgressBar(area);
    bar->setObjectName(QStringLiteral("ProgressBar_Bottom_Info"));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedWidth(kProgressWidth);
    layout->addWidget(text, 1);
    layout->addWidget(bar);
    return area;
}

}  // namespace

BottomPanel::BottomPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel_Bottom"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setFixedHeight(kPanelHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    comPanel_ = makeBevelPanel(this, "Panel_COM", kComWidth);
    connectionPanel_ = makeBevelPanel(this, "Panel_Connection", kConnectionWidth);
    connectionPanel_->setAutoFillBackground(true);
    layout->addWidget(comPanel_);
    layout->addWidget(connectionPanel_);
    layout->addWidget(makeInfoArea(this, infoText_, progressBar_), 1);
}

void BottomPanel::setComText(const QString& text) {
    comPanel_->setText(text);
}

void BottomPanel::setConnectionState(const QString& text, const QColor& background) {
    connectionPanel_->setText(text);
    QPalette palette = connectionPanel_->palette();
    palette.setColor(QPalette::Window, background);
    // Dark text stays readable on every link colour (green, red, white).
    palette.setColor(QPalette::WindowText, Qt::black);
    connectionPanel_->setPalette(palette);
}

void BottomPanel::setInfoText(const QString& text) {
    infoText_->setText(text);
}

void BottomPanel::setProgress(int percent) {
    progressBar_->setValue(qBound(0, percent, 100));
}

QString BottomPanel::comText() const {
    return comPanel_->text();
}
QString BottomPanel::connectionText() const {
    return connectionPanel_->text();
}
QColor BottomPanel::connectionColour() const {
    return connectionPanel_->palette().color(QPalette::Window);
}
QString BottomPanel::infoText() const {
    return infoText_->text();
}
int BottomPanel::progress() const {
    return progressBar_->value();
}

QColor colourFromBgr(quint32 bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace verimant
