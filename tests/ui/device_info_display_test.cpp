#include "ui/device_info_display.h"

#include "base/ui_language.h"
#include "device/device_info.h"
#include "ui/info_groups.h"

#include <QLabel>

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
    info.boardRecord.raw[1] = 3;
    info.boardRecord.raw[2] = 2;
    info.boardRecord.raw[3] = 1;
    info.boardRecord.raw[4] = 1;
    info.boardRecord.raw[9] = 0x21;
    info.boardRecord.raw[10] = 0x43;
    info.boardRecord.raw[11] = 0x65;
    info.boardRecord.raw[12] = 0x87;
    info.uid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    info.eflVersion = 0x0105;
    info.programInfo.bootVersion = 0x0410;
    info.programInfo.mainVersion = 0x0203;

    EXPECT_TRUE(showDeviceInfo(strip, info));
    EXPECT_EQ(strip.deviceGroup()->title(), "Verimant - Compact");
    EXPECT_EQ(fieldText(strip, "ST_DI_UID"), "01:02:03:04:05:06:07:08:09:0A:0B:0C");
    EXPECT_EQ(fieldText(strip, "ST_DI_Serial_Number"), "1-23-45678");
    EXPECT_EQ(fieldText(strip, "ST_DI_Board_Version"), "TRV-278.2");
    EXPECT_EQ(fieldText(strip, "ST_DI_Board_Assembling"), "(1:1)");
    EXPECT_EQ(fieldText(strip, "ST_DI_SW_External"), "1.5");
    EXPECT_EQ(fieldText(strip, "ST_DI_SW_Boot"), "4.16");
    EXPECT_EQ(fieldText(strip, "ST_DI_SW_KMT2"), "2.3");

    info.valid = false;
    EXPECT_TRUE(showDeviceInfo(strip, info));
    EXPECT_EQ(strip.deviceGroup()->title(), "Device Information");
    for (const char* name :
         {"ST_DI_UID", "ST_DI_Serial_Number", "ST_DI_Board_Version", "ST_DI_Board_Assembling",
          "ST_DI_SW_External", "ST_DI_SW_Boot", "ST_DI_SW_KMT2"}) {
        EXPECT_EQ(fieldText(strip, name), "") << name;
    }

    QWidget empty;
    EXPECT_FALSE(showDeviceInfo(empty, info));
}

}  // namespace
}  // namespace verimant
