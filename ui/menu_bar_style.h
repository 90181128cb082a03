#pragma once

#include <QProxyStyle>

namespace verimant {

// Qt's menu bar shows an item's icon instead of its caption; the language toggle needs both
// (the flag and "RUS"/"ENG"). This style draws the icon and then the caption for menu-bar items
// that have both, and leaves everything else to the application style.
class MenuBarStyle : public QProxyStyle {
public:
    MenuBarStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
};

}  // namespace verimant
