#include "ui/device_info_display.h"

#include "base/ui_language.h"
#include "device/device_info.h"
#include "ui/info_groups.h"

#include <QLabel>

#include <utility>

#include <gtest/gtest.h>

namespace verimant {
namespace {

QString fieldText(InfoStrip& strip, const char* name) {
    auto* field = strip.findChild<QLabel*>(QLatin1String(name));
    return field != nullptr ? field->text() : QStringLiteral("<missing>");
}

TEST(DeviceInfoDisplay, FillsTheGroupAndEmptiesItAgainForAnInvalidRecord) {
    setUiLanguage(UiLanguage::English);
    InfoStrip strip;
    DeviceInfo info;
    info.valid = true;
    info.modelName = QStringLiteral("Compact");
    // Board type 3, version 2, assembling 1:1, serial digits packed low nibble first.
    info.boardRecord.raw = {0, 3, 2, 1, 1, 0, 0, 0, 0, 0x21, 0x43, 0x65, 0x87};
    info.uid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    info.eflVersion = 0x0105;
    info.programInfo.bootVersion = 0x0410;
    info.programInfo.mainVersion = 0x0203;

    const std::pair<const char*, const char*> fields[] = {
        {"ST_DI_UID", "01:02:03:04:05:06:07:08:09:0A:0B:0C"},
        {"ST_DI_Serial_Number", "1-23-45678"},
        {"ST_DI_Board_Version", "TRV-278.2"},
        {"ST_DI_Board_Assembling", "(1:1)"},
        {"ST_DI_SW_External", "1.5"},
        {"ST_DI_SW_Boot", "4.16"},
        {"ST_DI_SW_KMT2", "2.3"},
    };
    EXPECT_TRUE(showDeviceInfo(strip, info));
    EXPECT_EQ(strip.deviceGroup()->title(), "Verimant - Compact");
    for (const auto& [name, text] : fields) {
        EXPECT_EQ(fieldText(strip, name), text) << name;
    }

    info.valid = false;
    EXPECT_TRUE(showDeviceInfo(strip, info));
    EXPECT_EQ(strip.deviceGroup()->title(), "Device Information");
    for (const auto& field : fields) {
        EXPECT_EQ(fieldText(strip, field.first), "") << field.first;
    }

    QWidget empty;
    EXPECT_FALSE(showDeviceInfo(empty, info));
}

}  // namespace
}  // namespace verimant
