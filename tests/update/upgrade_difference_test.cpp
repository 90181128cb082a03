#include "update/upgrade_difference.h"
#include "update/firmware_set.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

TEST(SoftSetSection, JoinsBoardVersionModelAndPacketInDecimal) {
    struct Case {
        int board;
        int version;
        const char* model;
        const char* packet;
        const char* section;
    };
    const Case cases[] = {
        {290, 2, "V2", "EURO", "SOFT_SET:TRV-290.V2.V2.EURO"},
        {245, 12, "Pro", "RU", "SOFT_SET:TRV-245.V12.Pro.RU"},
        // Without a model name the configuration's key carries two dots in a row.
        {278, 3, "", "ASIA", "SOFT_SET:TRV-278.V3..ASIA"},
        {0, 0, "", "", "SOFT_SET:TRV-0.V0.."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(softSetSection(c.board, c.version, QString::fromUtf8(c.model),
                                 QString::fromUtf8(c.packet)),
                  QString::fromUtf8(c.section));
    }
}

TEST(UpgradeDifferenceText, ListsEveryUnequalVersionWithTheEflLineAlwaysOnALineOfItsOwn) {
    struct Case {
        std::uint16_t deviceMain, setMain, deviceEfl, setEfl;
        const char* text;
    };
    const Case cases[] = {
        {0x0203, 0x0203, 0x0105, 0x0105, ""},
        {0x0203, 0x0204, 0x0105, 0x0105, "KMT2 [2.3] --> [2.4]"},
        // An EFL-only change still starts with the line break.
        {0x0203, 0x0203, 0x0105, 0x0106, "\nEFL  [1.5] --> [1.6]"},
        {0x0203, 0x0204, 0x0105, 0x0106, "KMT2 [2.3] --> [2.4]\nEFL  [1.5] --> [1.6]"},
        // An older set counts like a newer one.
        {0x0204, 0x0203, 0x0106, 0x0105, "KMT2 [2.4] --> [2.3]\nEFL  [1.6] --> [1.5]"},
        // An instrument in its boot loader reports 0 for both.
        {0x0000, 0x0A0B, 0x0000, 0x0100, "KMT2 [0.0] --> [10.11]\nEFL  [0.0] --> [1.0]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upgradeDifferenceText(c.deviceMain, c.setMain, c.deviceEfl, c.setEfl),
                  QString::fromUtf8(c.text));
    }
}

}  // namespace
}  // namespace verimant
