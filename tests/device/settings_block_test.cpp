#include "link/settings_block.h"

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
    return device.withInstrument(
        [copy](sim::Instrument& instrument) { return instrument.settingsCopy(copy); });
}

// For each copy: the erase of its sector, then its sixteen 16-byte pieces in ascending order.
std::vector<FlashOperation> rewrites(std::initializer_list<int> copies) {
    std::vector<FlashOperation> operations;
    for (int copy : copies) {
        const std::uint32_t base = SettingsBlock::kCopyAddress[copy];
        operations.push_back({FlashOperation::Kind::Erase, sim::FlashTarget::External, base, 0});
        for (std::uint32_t piece = 0; piece < 16; ++piece) {
            operations.push_back(
                {FlashOperation::Kind::Write, sim::FlashTarget::External, base + 16 * piece, 16});
        }
    }
    return operations;
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

// Copy 0 when it is valid; else copy 1, rewriting copy 0 from it; else both copies get the
// erased pattern, unsealed, so that the instrument falls back to its own defaults.
TEST(SettingsBlockLoad, FirstValidCopyIsTakenAndTheDamagedOnesRewritten) {
    struct Case {
        const char* what;
        sim::SettingsStart start;
        bool damageCopy1;
        int takenCopy;  // -1: the erased pattern
        int reads;
        std::vector<FlashOperation> operations;
    };
    const Case cases[] = {
        {"good first copy", sim::SettingsStart::Valid, false, 0, 16, {}},
        {"bad first copy", sim::SettingsStart::Copy0Bad, false, 1, 32, rewrites({0})},
        {"both bad", sim::SettingsStart::Copy0Bad, true, -1, 32, rewrites({0, 1})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device(startingWith(c.start));
        ASSERT_TRUE(device.start());
        if (c.damageCopy1) {  // in a way an erase-and-rewrite of the erased pattern makes visible
            device.withInstrument([](sim::Instrument& instrument) {
                instrument.externalFlash().program(SettingsBlock::kCopyAddress[1] + 8,
                                                   QByteArray("\x01\x02\x03\x04", 4));
            });
        }
        SettingsBlock::Values taken;
        taken.fill(-1);
        if (c.takenCopy >= 0) {
            taken = asBlockValues(copyInFlash(device, c.takenCopy));
        }

        SettingsBlock block;
        block.load(device.session.commands);

        EXPECT_EQ(block.isValid(), c.takenCopy >= 0);
        EXPECT_EQ(block.values(), taken);
        EXPECT_EQ(device.requests(0x02, 0x02), c.reads);
        EXPECT_EQ(device.flashOperations(), c.operations);
        for (int copy : {0, 1}) {
            EXPECT_EQ(device.externalFlash(SettingsBlock::kCopyAddress[copy], 256),
                      c.takenCopy >= 0 ? sim::settingsBytes(copyInFlash(device, c.takenCopy))
                                       : QByteArray(256, '\xFF'));
        }
        EXPECT_EQ(block.settingsFailureCount(), 0);
        EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    }
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
    device.withInstrument([&](sim::Instrument& instrument) {
        instrument.externalFlash().program(SettingsBlock::kCopyAddress[0],
                                           sim::settingsBytes(stored));
    });
    SettingsBlock block;
    block.load(device.session.commands);
    ASSERT_TRUE(block.isValid());
    const int requestsBefore = device.requests(0x02, 0x02);

    struct Case {
        int index;
        std::int32_t expected;
    };
    for (const Case& c : {Case{6, 0}, Case{20, 100}, Case{21, -5}, Case{40, -77},
                          Case{61, -100} /* the minimum itself is inside */, Case{0, 258},
                          Case{64, 0}, Case{-1, 0}}) {
        EXPECT_EQ(block.get(c.index), c.expected) << "index " << c.index;
    }
    EXPECT_EQ(device.requests(0x02, 0x02), requestsBefore) << "get never asks the instrument";
}

TEST(SettingsBlockValues, SetClampsCountsSealsAndWritesBothCopies) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Valid));
    ASSERT_TRUE(device.start());
    SettingsBlock block;
    block.load(device.session.commands);
    const std::int32_t counter = block.values()[SettingsBlock::kCounterIndex];

    block.set(device.session.commands, 61, 500);
    EXPECT_EQ(block.values()[61], 100);
    EXPECT_EQ(block.values()[SettingsBlock::kCounterIndex], counter + 1);
    EXPECT_TRUE(block.isValid());
    EXPECT_EQ(device.flashOperations(), rewrites({0, 1}));
    EXPECT_EQ(asBlockValues(copyInFlash(device, 0)), block.values());
    EXPECT_EQ(asBlockValues(copyInFlash(device, 1)), block.values());

    block.set(device.session.commands, 21, 7);     // no limit
    block.set(device.session.commands, 61, -101);  // below the minimum
    EXPECT_EQ(block.get(21), 7);
    EXPECT_EQ(block.get(61), -100);
    EXPECT_EQ(block.values()[SettingsBlock::kCounterIndex], counter + 3);

    const std::size_t operations = device.flashOperations().size();
    const SettingsBlock::Values before = block.values();
    block.set(device.session.commands, 70, 1);
    block.set(device.session.commands, -1, 1);
    EXPECT_EQ(block.values(), before);
    EXPECT_EQ(device.flashOperations().size(), operations);

    SettingsBlock reloaded;
    reloaded.load(device.session.commands);
    EXPECT_EQ(reloaded.values(), block.values());
}

// Each copy that fails counts once, however far its transfer got.
TEST(SettingsBlockFailures, EveryCopyThatCannotBeTransferredIsCounted) {
    SimulatedDevice device(startingWith(sim::SettingsStart::Copy0Bad));
    ASSERT_TRUE(device.start());
    device.silence(32);  // both copies are read; the repair of copy 0 gets no answer

    SettingsBlock block;
    block.load(device.session.commands);
    EXPECT_EQ(block.settingsFailureCount(), 1);
    EXPECT_TRUE(block.isValid()) << "the good second copy is still in use";
    EXPECT_FALSE(block.readCopy(device.session.commands, 1));
    EXPECT_EQ(block.settingsFailureCount(), 2);

    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in EFLASH Write"));
    EXPECT_TRUE(device.dialogs.textsOf("error").contains("No answer in reading EFLASH"));
    block.resetSettingsFailureCount();
    EXPECT_EQ(block.settingsFailureCount(), 0);
}

}  // namespace
}  // namespace verimant
