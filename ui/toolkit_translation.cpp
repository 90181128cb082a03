#include "ui/toolkit_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace verimant {

namespace {

// Debian's qt6-translations-l10n puts it under Qt's translations folder.
const QString kRussianCatalogue = QStringLiteral("qtbase_ru");

QTranslator& russianCatalogue() {
    static QTranslator* catalogue = new QTranslator(QCoreApplication::instance());
    return *catalogue;
}

}  // namespace

bool applyToolkitLanguage(UiLanguage language) {
    if (QCoreApplication::instance() == nullptr) {
        return false;
    }
    QTranslator& catalogue = russianCatalogue();
    QCoreApplication::removeTranslator(&catalogue);
    if (language != UiLanguage::Russian) {
        return true;
    }
    if (catalogue.isEmpty() &&
        !catalogue.load(kRussianCatalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return QCoreApplication::installTranslator(&catalogue);
}

}  // namespace verimant
