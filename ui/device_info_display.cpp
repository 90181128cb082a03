#include "ui/device_info_display.h"

#include "device/device_info.h"
#include "device/device_info_texts.h"

#include <QGroupBox>
#include <QLabel>

namespace verimant {

namespace {

bool setFieldText(QWidget& window, const char* name, const QString& text) {
    auto* field = window.findChild<QLabel*>(QLatin1String(name));
    if (field == nullptr) {
        return false;
    }
    field->setText(text);
    return true;
}

}  // namespace

bool showDeviceInfo(QWidget& window, const DeviceInfo& info) {
    const DeviceInfoTexts texts = deviceInfoTexts(info);
    bool complete = true;
    if (auto* group = window.findChild<QGroupBox*>(QStringLiteral("GroupBox_DeviceInfo"))) {
        group->setTitle(texts.groupCaption);
    } else {
        complete = false;
    }
    const std::pair<const char*, const QString*> fields[] = {
        {"ST_DI_UID", &texts.uid},
        {"ST_DI_Serial_Number", &texts.serialNumber},
        {"ST_DI_Board_Version", &texts.boardVersion},
        {"ST_DI_Board_Assembling", &texts.boardAssembling},
        {"ST_DI_SW_External", &texts.softwareExternal},
        {"ST_DI_SW_Boot", &texts.softwareBoot},
        {"ST_DI_SW_KMT2", &texts.softwareMain},
    };
    for (const auto& [name, text] : fields) {
        complete = setFieldText(window, name, *text) && complete;
    }
    return complete;
}

}  // namespace verimant
