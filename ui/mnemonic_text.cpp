#include "ui/mnemonic_text.h"

#include <QAction>
#include <QSet>
#include <QWidget>

namespace verimant {

namespace {

QString escaped(const QString& caption) {
    QString text = caption;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Mnemonics of the items before `item` in every menu that shows it.
QSet<QChar> takenBefore(const QAction* item) {
    QSet<QChar> taken;
    for (const QObject* holder : item->associatedObjects()) {
        const auto* menu = qobject_cast<const QWidget*>(holder);
        if (menu == nullptr) {
            continue;
        }
        for (const QAction* sibling : menu->actions()) {
            if (sibling == item) {
                break;
            }
            const QChar letter = mnemonicOf(sibling->text());
            if (!letter.isNull()) {
                taken.insert(letter);
            }
        }
    }
    return taken;
}

}  // namespace

QString withoutMnemonic(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        shown.append(text.at(i));
    }
    return shown;
}

QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&')) {
            continue;
        }
        if (text.at(i + 1) != QLatin1Char('&')) {
            return text.at(i + 1).toLower();
        }
        ++i;  // "&&" is a literal ampersand
    }
    return QChar();
}

QString mnemonicText(const QAction* item, const QString& caption) {
    if (!mnemonicOf(caption).isNull()) {
        return caption;
    }
    const QSet<QChar> taken = takenBefore(item);
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar letter = caption.at(i);
        if (letter.isLetterOrNumber() && !taken.contains(letter.toLower())) {
            return escaped(caption.left(i)) + QLatin1Char('&') + escaped(caption.mid(i));
        }
    }
    return escaped(caption);
}

}  // namespace verimant
