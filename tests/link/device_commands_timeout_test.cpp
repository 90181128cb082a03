#include "tests/link/device_commands_fixture.h"

#include <array>
#include <chrono>
#include <thread>

// Each unanswered command costs three sends 700 ms apart, so these cases are kept few.
namespace verimant {
namespace {

using test::DeviceCommandsTest;

TEST_F(DeviceCommandsTest, SilentSecondPieceEndsTheReadWithItsOwnBox) {
    const std::uint32_t start = snapshot().layout().mainFirmwareStart;
    answerOnly(1);
    std::array<std::uint8_t, 48> buffer{};
    EXPECT_EQ(commands.readMemory(start, buffer.data(), 48, true), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.requestCount(), 1 + 3)
        << "the first piece once, the second three times, the third never";
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, "error");
    EXPECT_EQ(dialogs.boxes[0].text, "No answer in Reading");
}

TEST_F(DeviceCommandsTest, QueriesAgainstASilentDeviceAnswerZero) {
    answerOnly(0);
    EXPECT_EQ(commands.flashPageSize(), 0);
    EXPECT_FALSE(commands.hasProgramInfo());
    EXPECT_FALSE(commands.hasPlatformDescription());
    EXPECT_EQ(dialogs.textsOf("error"),
              QStringList{"No answer in reading information about Programm"});

    std::array<std::uint8_t, 16> piece{};
    EXPECT_EQ(commands.readEflash(0x1010, piece.data(), 16, false), -1);
    EXPECT_EQ(dialogs.boxes.size(), 1) << "no box without report";
}

TEST_F(DeviceCommandsTest, ParameterWriteAndScreenTextsReportTheirOwnTexts) {
    ASSERT_TRUE(commands.readPlatformDescription(nullptr, false));
    answerOnly(0);
    ParameterRecord record;
    record.id = 6;
    record.value = 2;
    EXPECT_FALSE(commands.writeParameter(record));
    EXPECT_FALSE(commands.pcConnection(QStringLiteral("Hello"), true));
    EXPECT_FALSE(commands.pcPrint(QStringLiteral("{X0|Y0}"), true));
    EXPECT_EQ(
        dialogs.textsOf("error"),
        (QStringList{"No answer - Parameter WRITE", "No answer form Device : PC_CONNECTION [Hello]",
                     "No answer from Device : PC_PRINT [{X0|Y0}]"}));
}

}  // namespace
}  // namespace verimant
