#include "ui/busy_indicator.h"

#include "ui/gear_frames.h"

#include <QApplication>
#include <QBitmap>
#include <QDialog>
#include <QLabel>
#include <QPainter>

namespace verimant {

namespace {

constexpr int kPictureLeft = 8;
constexpr int kPictureTop = 8;
constexpr int kPictureBox = 81;

QRegion opaquePart(const QImage& picture) {
    const QImage mask = picture.createMaskFromColor(QColor(Qt::white).rgb(), Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(mask));
}

}  // namespace

BusyIndicator::BusyIndicator(QWidget* mainWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setFixedSize(kClientWidth, kClientHeight);
    // With a compositor the white parts are drawn see-through; without one the window's shape,
    // cut to the visible picture, leaves them out.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    for (int i = 0; i < kGearFrameCount; ++i) {
        const QImage picture = paintGearFrame(i);
        auto* image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setGeometry(kPictureLeft, kPictureTop, kPictureBox, kPictureBox);
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPixmap pixmap = QPixmap::fromImage(picture);
        pixmap.setMask(QBitmap::fromImage(
            picture.createMaskFromColor(QColor(Qt::white).rgb(), Qt::MaskInColor)));
        image->setPixmap(pixmap);
        image->hide();
        images_[i] = image;
        shapes_[i] = opaquePart(picture).translated(kPictureLeft, kPictureTop);
    }
    Timer1_.setInterval(kInitialIntervalMs);
    connect(&Timer1_, &QTimer::timeout, this, &BusyIndicator::Timer1Timer);
    updateShape();
    // Every window's showing and hiding passes here, so the sign steps aside the moment a box
    // opens rather than at its next frame.
    qApp->installEventFilter(this);
}

void BusyIndicator::ShowBusy(int periodMs) {
    if (periodMs == 0) {
        HideBusy();
        return;
    }
    wanted_ = true;
    CenterBusy();
    standAsideFromBoxes();
    if (periodMs >= 1 && periodMs <= kMaximumPeriodMs) {
        Timer1_.setInterval(periodMs);
    }
    Timer1_.start();
}

void BusyIndicator::HideBusy() {
    wanted_ = false;
    Timer1_.stop();
    hide();
}

void BusyIndicator::CenterBusy() {
    if (!mainWindow_) {
        return;
    }
    // Outer frame coordinates on both sides; the halves round toward zero as integer division
    // does.
    const QRect main = mainWindow_->frameGeometry();
    const QRect own = frameGeometry();
    move(main.left() + main.width() / 2 - own.width() / 2,
         main.top() + main.height() / 2 - own.height() / 2);
}

void BusyIndicator::Timer1Timer() {
    CenterBusy();
    showFrame(frameIndex_, false);
    frameIndex_ = frameIndex_ + 1 > 3 ? 0 : frameIndex_ + 1;
    showFrame(frameIndex_, true);
    updateShape();
}

int BusyIndicator::visibleFrame() const {
    for (int i = 0; i < kGearFrameCount; ++i) {
        if (!images_[i]->isHidden()) {
            return i;
        }
    }
    return -1;
}

bool BusyIndicator::eventFilter(QObject* watched, QEvent* event) {
    const bool shownOrHidden = event->type() == QEvent::Show || event->type() == QEvent::Hide;
    if (wanted_ && shownOrHidden && watched != this && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        standAsideFromBoxes(event->type() == QEvent::Hide ? static_cast<QWidget*>(watched)
                                                          : nullptr);
    }
    return QWidget::eventFilter(watched, event);
}

// The sign stays on top of everything, so over an open message box or dialog it would hide the
// very words the operator must read; it waits, still turning, until the last one closes.
bool BusyIndicator::boxOpen(const QWidget* closing) const {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || window == closing || !window->isVisible()) {
            continue;
        }
        if (window->isModal() || qobject_cast<const QDialog*>(window) != nullptr) {
            return true;
        }
    }
    return false;
}

void BusyIndicator::standAsideFromBoxes(const QWidget* closing) {
    if (!wanted_ || boxOpen(closing)) {
        hide();
        return;
    }
    if (!isVisible()) {
        show();
    }
    raise();
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    // The background is the see-through white: nothing of it is painted.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
}

void BusyIndicator::showFrame(int index, bool visible) {
    images_[index]->setVisible(visible);
}

void BusyIndicator::updateShape() {
    const int frame = visibleFrame();
    // An empty region would remove the shape altogether and show the whole white window; one
    // corner pixel, painted see-through, stands for "nothing visible".
    setMask(frame < 0 ? QRegion(0, 0, 1, 1) : shapes_[frame]);
}

}  // namespace verimant
