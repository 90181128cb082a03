// Writes the application icon that the window paints into an icon-theme folder:
//   verimant-icon-export DIR SIZE...  ->  DIR/<SIZE>x<SIZE>/apps/verimant-manager.png
// Run at build time for the package, so the menu shows the same picture as the window.

#include "ui/icon_painter.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Painting needs no screen; the build machine may have none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: verimant-icon-export DIR SIZE...\n");
        return 2;
    }
    for (const QString& sizeText : arguments.mid(2)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "verimant-icon-export: bad size %s\n", qPrintable(sizeText));
            return 2;
        }
        const QString folder = arguments[1] + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = folder + QStringLiteral("/verimant-manager.png");
        if (!QDir().mkpath(folder) || !verimant::paintApplicationIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "verimant-icon-export: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
