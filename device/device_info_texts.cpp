#include "device/device_info_texts.h"

#include "base/ui_language.h"
#include "device/device_info.h"
#include "device/device_text_forms.h"

namespace verimant {

DeviceInfoTexts deviceInfoTexts(const DeviceInfo& info) {
    DeviceInfoTexts texts;
    if (!info.valid) {
        texts.groupCaption = PickText(QStringLiteral("Информация об устройстве"),
                                      QStringLiteral("Device Information"));
        return texts;
    }
    if (!info.modelName.isEmpty()) {
        texts.groupCaption = "Verimant - " + info.modelName;
    }
    texts.uid = uidText(info.uid);
    texts.serialNumber = serialText(info.boardRecord);
    texts.boardVersion = boardText(info.boardRecord);
    texts.boardAssembling = assemblingText(info.boardRecord);
    texts.softwareExternal = versionText(info.eflVersion);
    texts.softwareBoot = versionText(info.programInfo.bootVersion);
    texts.softwareMain = versionText(info.programInfo.mainVersion);
    return texts;
}

}  // namespace verimant
