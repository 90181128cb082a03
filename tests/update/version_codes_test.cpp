#include "update/version_codes.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

TEST(VersionCodes, FirmwareVersionTexts) {
    const std::vector<std::pair<const char*, std::uint16_t>> cases = {
        {"1.5", 0x0105},   {" 1.05 ", 0x0105},
        {"1.005", 0x0105}, {"255.255", 0xFFFF},
        {"1.0", 0x0100},   {"12.34", 0x0C22},
        {"0.9", 0},        {"1.256", 0},
        {"256.1", 0},      {"1", 0},
        {".5", 0},         {"1.", 0},
        {"1.2.3", 0},      {"", 0},
        {"a.1", 0},        {"1.b", 0},
        {"-1.5", 0},       {"1.-5", 0},
        {"1 .5", 0},       {"99999999999.1", 0},
    };
    for (const auto& [text, code] : cases) {
        EXPECT_EQ(parseFirmwareVersion(QString::fromLatin1(text)), code) << text;
    }
}

TEST(VersionCodes, ApplicationVersionTexts) {
    const std::vector<std::pair<const char*, std::int32_t>> cases = {
        {"1.2.19", 66067},
        {"0.0.0", 0},
        {"1.2.3.4", 66051},
        {"1.2.3x", kInvalidAppVersion},
        {"1.2.3.x", 66051},      // text after the third number is ignored
        {"0.300.0", 300 * 256},  // parts carry no range of their own
        {"1.2", kInvalidAppVersion},
        {"1.x.3", kInvalidAppVersion},
        {"1..3", kInvalidAppVersion},
        {"1.-2.3", kInvalidAppVersion},
        {"", kInvalidAppVersion},
        {" 1 . 2 . 19 ", 66067},
        {"40000.0.0", kInvalidAppVersion},  // past 32 bits
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parseAppVersion(QString::fromLatin1(text)), value) << text;
    }
}

TEST(VersionCodes, ApplicationVersionsFormatBackToTheirText) {
    for (const char* text : {"1.2.19", "0.0.0", "3.255.255", "200.0.1"}) {
        EXPECT_EQ(formatAppVersion(parseAppVersion(QString::fromLatin1(text))), text);
    }
    EXPECT_EQ(formatAppVersion(kInvalidAppVersion), "");
}

}  // namespace
}  // namespace verimant
