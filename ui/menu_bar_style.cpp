#include "ui/menu_bar_style.h"

#include "ui/mnemonic_text.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

namespace verimant {

namespace {

constexpr int kIconTextGap = 4;

const QStyleOptionMenuItem* itemWithIconAndText(const QStyleOption* option) {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item == nullptr || item->icon.isNull() || item->text.isEmpty()) {
        return nullptr;
    }
    return item;
}

}  // namespace

MenuBarStyle::MenuBarStyle() : QProxyStyle() {}

void MenuBarStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    const QStyleOptionMenuItem* item =
        element == CE_MenuBarItem ? itemWithIconAndText(option) : nullptr;
    if (item == nullptr) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionMenuItem background = *item;
    background.text.clear();
    background.icon = QIcon();
    QProxyStyle::drawControl(element, &background, painter, widget);

    const int extent = pixelMetric(PM_SmallIconSize, option, widget);
    const int textWidth = item->fontMetrics.horizontalAdvance(withoutMnemonic(item->text));
    const int contentWidth = extent + kIconTextGap + textWidth;
    QRect content(0, 0, contentWidth, item->rect.height());
    content.moveCenter(item->rect.center());
    const QIcon::Mode mode = (item->state & State_Enabled) ? QIcon::Normal : QIcon::Disabled;
    const QPixmap pixmap =
        item->icon.pixmap(QSize(extent, extent), painter->device()->devicePixelRatio(), mode);
    drawItemPixmap(painter, QRect(content.left(), content.top(), extent, content.height()),
                   Qt::AlignCenter, pixmap);
    const QRect textRect(content.left() + extent + kIconTextGap, content.top(), textWidth,
                         content.height());
    // The mnemonic mark is drawn as the style draws it on the other items, never as "&".
    const int mnemonic = styleHint(SH_UnderlineShortcut, option, widget) != 0
                             ? Qt::TextShowMnemonic
                             : Qt::TextHideMnemonic;
    drawItemText(painter, textRect, Qt::AlignCenter | Qt::TextSingleLine | mnemonic, item->palette,
                 item->state & State_Enabled, item->text, QPalette::ButtonText);
}

QSize MenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                     const QSize& size, const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuBarItem) {
        if (const QStyleOptionMenuItem* item = itemWithIconAndText(option)) {
            result.rwidth() +=
                kIconTextGap + item->fontMetrics.horizontalAdvance(withoutMnemonic(item->text));
        }
    }
    return result;
}

}  // namespace verimant
