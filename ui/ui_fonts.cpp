#include "ui/ui_fonts.h"

#include <QStringList>

namespace verimant {

namespace {

constexpr int kBasePixelSize = 11;

}  // namespace

QFont windowBaseFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kBasePixelSize);
    return font;
}

QFont monospaceFont(int pixelSize, bool bold) {
    QFont font;
    // Liberation Mono has Courier New's metrics; the others are fallbacks with Cyrillic.
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace verimant
