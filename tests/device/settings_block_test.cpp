#include "device/settings_block.h"

#include "sim/settings_image.h"
#include "tests/device/simulated_device.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

using test::SimulatedDevice;
using FlashOperation = sim::FlashOperation;

sim::InstrumentConfig startingWith(sim::SettingsStart start) {
    sim::InstrumentConfig config;
    config.settingsStart = start;
    config.language = 2;
    return config;
}

SettingsBlock::Values asBlockValues(const sim::SettingsValues& values) {
    SettingsBlock::Values out{};
    std::copy(values.begin(), values.end(), out.begin());
    return out;
}

sim::SettingsValues copyInFlash(SimulatedDevice& device, int copy) {
    return device.instrument().withInstrument(
        [copy](sim::Instrument& instrument) { return instrument.settingsCopy(copy); });
}

std::vector<FlashOperation> flashOperations(SimulatedDevice& device) {
    return device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.flashOperations(); });
}

// Erase of the copy's sector, then its sixteen 16-byte pieces in ascending order.
std::vector<FlashOperation> copyRewrite(int copy) {
    const std::uint32_t base = SettingsBlock::kCopyAddress[copy];
    std::vector<FlashOperation> operations{
        {FlashOperation::Kind::Erase, sim::FlashTarget::External, base, 0}};
    for (int piece = 0; piece < 16; ++piece) {
        operations.push_back({FlashOperation::Kind::Write, sim::FlashTarget::External,
                              base + std::uint32_t(16 * piece), 16});
    }
    return operations;
}

template <typename T>
std::vector<T> joined(std::vector<T> first, const std::vector<T>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(SettingsBlockCheckValue, ZeroBlockWithTheBareCheckIsValidErasedIsNot) {
    SettingsBlock::Values values{};
    values[63] = std::int32_t(0xFFFFFFFF);
    EXPECT_EQ(settingsCheckValue(values), 0xFFFFFFFFu);
    values.fill(std::int32_t(0xFFFFFFFF));
    EXPECT_NE(settingsCheckValue(values), 0xFFFFFFFFu);
    values.fill(0x40000000);  // the sum wraps
    EXPECT_EQ(settingsCheckValue(values), 0xFFFFFFFFu + 63u * 0x40000000u);
}

TEST(SettingsBlockLoad, GoodFirstCopyIsTakenWithoutWriting) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Valid));
    ASSERT_TRUE(device.start());
    SettingsBlock block;
    block.load(device.session);

    EXPECT_TRUE(block.isValid());
    EXPECT_EQ(block.values(), asBlockValues(sim::factorySettings(2)));
    EXPECT_EQ(block.get(6), 2);
    EXPECT_EQ(device.requests(0x02, 0x02), 16) << "copy 1 is not read";
    EXPECT_TRUE(flashOperations(device).empty());
    EXPECT_EQ(block.settingsFailureCount(), 0);
}

TEST(SettingsBlockLoad, BadFirstCopyIsRepairedFromTheSecond) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Copy0Bad));
    ASSERT_TRUE(device.start());
    const sim::SettingsValues good = copyInFlash(device, 1);
    ASSERT_FALSE(sim::settingsValid(copyInFlash(device, 0)));

    SettingsBlock block;
    block.load(device.session);

    EXPECT_TRUE(block.isValid());
    EXPECT_EQ(block.values(), asBlockValues(good));
    EXPECT_EQ(copyInFlash(device, 0), good) << "copy 0 rewritten from copy 1";
    EXPECT_EQ(copyInFlash(device, 1), good);
    EXPECT_EQ(flashOperations(device), copyRewrite(0)) << "copy 1 left alone";
    EXPECT_EQ(device.requests(0x02, 0x02), 32);
    EXPECT_EQ(block.settingsFailureCount(), 0);
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
}

TEST(SettingsBlockLoad, BothCopiesBadAreRewrittenErasedAndStayBad) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Copy0Bad));
    ASSERT_TRUE(device.start());
    // Damage copy 1 too, in a way an erase-and-rewrite of the erased pattern makes visible.
    device.instrument().withInstrument([](sim::Instrument& instrument) {
        instrument.externalFlash().program(SettingsBlock::kCopyAddress[1] + 8,
                                           QByteArray("\x01\x02\x03\x04", 4));
    });

    SettingsBlock block;
    block.load(device.session);

    EXPECT_FALSE(block.isValid());
    for (std::int32_t value : block.values()) {
        EXPECT_EQ(value, -1);
    }
    EXPECT_EQ(flashOperations(device), joined(copyRewrite(0), copyRewrite(1)));
    EXPECT_EQ(device.externalFlash(SettingsBlock::kCopyAddress[0], 256), QByteArray(256, '\xFF'));
    EXPECT_EQ(device.externalFlash(SettingsBlock::kCopyAddress[1], 256), QByteArray(256, '\xFF'));
    // Values fall back to their defaults, unlimited ones read as they are.
    EXPECT_EQ(block.get(6), 0);
    EXPECT_EQ(block.get(20), 100);
    EXPECT_EQ(block.get(21), -1);

    SettingsBlock again;
    again.load(device.session);
    EXPECT_FALSE(again.isValid());
}

TEST(SettingsBlockValues, GetFallsBackToTheDefaultOutsideTheLimits) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Valid));
    ASSERT_TRUE(device.start());
    sim::SettingsValues stored = sim::factorySettings(2);
    stored[6] = 300;
    stored[20] = 0;
    stored[21] = -5;   // minimum above maximum: no limit
    stored[40] = -77;  // no entry: no limit
    stored[61] = -100;
    stored[0] = -1;
    sim::sealSettings(stored);
    device.instrument().withInstrument([&](sim::Instrument& instrument) {
        instrument.externalFlash().program(SettingsBlock::kCopyAddress[0],
                                           sim::settingsBytes(stored));
    });
    SettingsBlock block;
    block.load(device.session);
    ASSERT_TRUE(block.isValid());

    EXPECT_EQ(block.get(6), 0);
    EXPECT_EQ(block.get(20), 100);
    EXPECT_EQ(block.get(21), -5);
    EXPECT_EQ(block.get(40), -77);
    EXPECT_EQ(block.get(61), -100) << "the minimum itself is inside";
    EXPECT_EQ(block.get(0), 258);
    EXPECT_EQ(block.get(64), 0);
    EXPECT_EQ(block.get(-1), 0);
    const int requestsBefore = device.requests(0x02, 0x02);
    block.get(6);
    EXPECT_EQ(device.requests(0x02, 0x02), requestsBefore) << "get never asks the instrument";
}

TEST(SettingsBlockValues, SetClampsCountsSealsAndWritesBothCopies) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Valid));
    ASSERT_TRUE(device.start());
    SettingsBlock block;
    block.load(device.session);
    const std::int32_t counter = block.values()[SettingsBlock::kCounterIndex];

    block.set(device.session, 61, 500);
    EXPECT_EQ(block.values()[61], 100);
    EXPECT_EQ(block.values()[SettingsBlock::kCounterIndex], counter + 1);
    EXPECT_TRUE(block.isValid());
    EXPECT_EQ(flashOperations(device), joined(copyRewrite(0), copyRewrite(1)));
    EXPECT_EQ(asBlockValues(copyInFlash(device, 0)), block.values());
    EXPECT_EQ(asBlockValues(copyInFlash(device, 1)), block.values());

    block.set(device.session, 21, 7);
    block.set(device.session, 61, -101);
    block.set(device.session, 6, 1);
    EXPECT_EQ(block.get(21), 7);
    EXPECT_EQ(block.get(61), -100);
    EXPECT_EQ(block.get(6), 1);
    EXPECT_EQ(block.values()[SettingsBlock::kCounterIndex], counter + 4);
    EXPECT_TRUE(sim::settingsValid(copyInFlash(device, 0)));
    EXPECT_EQ(asBlockValues(copyInFlash(device, 1)), block.values());

    const SettingsBlock::Values before = block.values();
    const std::size_t operations = flashOperations(device).size();
    block.set(device.session, 70, 1);
    block.set(device.session, -1, 1);
    EXPECT_EQ(block.values(), before);
    EXPECT_EQ(flashOperations(device).size(), operations);
    EXPECT_EQ(block.settingsFailureCount(), 0);

    SettingsBlock reloaded;
    reloaded.load(device.session);
    EXPECT_EQ(reloaded.values(), block.values());
}

TEST(SettingsBlockFailures, EveryCopyThatCannotBeTransferredIsCounted) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Valid));
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.silentAfter = 3;  // three pieces of copy 0, then nothing more
    device.instrument().setFaults(faults);

    SettingsBlock block;
    block.load(device.session);

    // Both reads and both rewrites of the erased pattern fail; each copy counts once.
    EXPECT_EQ(block.settingsFailureCount(), 4);
    EXPECT_FALSE(block.isValid());
    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in reading EFLASH"));
    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in EFLASH Write"));
    block.resetSettingsFailureCount();
    EXPECT_EQ(block.settingsFailureCount(), 0);
}

}  // namespace
}  // namespace verimant
