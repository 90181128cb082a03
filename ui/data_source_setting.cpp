#include "ui/data_source_setting.h"

#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "platform/setting_store.h"
#include "ui/action_table.h"
#include "ui/image_list.h"
#include "update/update_source.h"

#include <QAction>
#include <QDir>

namespace verimant {

namespace {

const QString kOptionsGroup = QStringLiteral("MANAGER/OPTIONS");
const QString kSourceKey = QStringLiteral("DATA_SOURCE");
const QString kFolderKey = QStringLiteral("LOCAL_FOLDER");
constexpr qint32 kInternet = 0;
constexpr qint32 kLocal = 1;

void showChoice(const MainActions& a, const ImageList& images, bool local) {
    showDataSourceTexts(a);
    a.Action_Data_Source_Local->setChecked(local);
    a.Action_Data_Source_Internet->setChecked(!local);
    a.Action_Data_Source->setIcon(images.icon(local ? ImageList::FloppyDisk : ImageList::Globe));
}

QString storedFolder() {
    return readUserText(kOptionsGroup, kFolderKey).value_or(QString());
}

// Every choice of Local asks for the folder, starting at the one stored (else the home folder),
// so that the operator can change it; a cancelled choice leaves the source as it was.
void chooseLocal(const MainActions& a, const ImageList& images) {
    QString folder = storedFolder();
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::homePath();
    }
    if (!userDialogs().chooseFolder(folder) || folder.isEmpty()) {
        showChoice(a, images, !chosenSourceFolder().isEmpty());
        return;
    }
    writeUserText(kOptionsGroup, kFolderKey, folder);
    writeUserInt32(kOptionsGroup, kSourceKey, kLocal);
    showChoice(a, images, true);
}

}  // namespace

void showDataSourceTexts(const MainActions& a) {
    const QString folder = storedFolder();
    a.Action_Data_Source_Local->setText(
        folder.isEmpty() ? PickText(QStringLiteral("Локальный"), QStringLiteral("Local"))
                         : PickText(QStringLiteral("Локальный: %1"), QStringLiteral("Local: %1"))
                               .arg(QDir::toNativeSeparators(folder)));
}

QString chosenSourceFolder() {
    const QString fromEnvironment = updateSourceFolderFromEnvironment();
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    if (readUserInt32(kOptionsGroup, kSourceKey).value_or(kInternet) != kLocal) {
        return QString();
    }
    return storedFolder();
}

void bindDataSourceSetting(const MainActions& a, const ImageList& images) {
    showChoice(a, images, !chosenSourceFolder().isEmpty());
    QObject::connect(a.Action_Data_Source_Internet, &QAction::triggered, a.Action_Data_Source,
                     [a, &images] {
                         writeUserInt32(kOptionsGroup, kSourceKey, kInternet);
                         showChoice(a, images, false);
                     });
    QObject::connect(a.Action_Data_Source_Local, &QAction::triggered, a.Action_Data_Source,
                     [a, &images] { chooseLocal(a, images); });
}

}  // namespace verimant
