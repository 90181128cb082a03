#include "bench/faults/fault_runs.h"
#include "bench/faults/fault_rig.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <vector>

namespace verimant::faults {
namespace {

FaultSetup setupOrFail() {
    QString error;
    const auto setup = prepareFaultSetup(test::testRootDir() + "/faults", 7, &error);
    EXPECT_TRUE(setup) << error.toStdString();
    return setup.value_or(FaultSetup{});
}

// The comparison is what turns a run into a verdict: it must see a single wrong byte anywhere,
// through the files the simulator saves, and name where it is.
TEST(FlashComparison, SavedFlashesEqualTheExpectedOnesUntilOneByteDiffers) {
    const FaultSetup setup = setupOrFail();
    const ExpectedFlashes& expected = setup.expected;
    FaultRig rig(setup, {});
    const auto place = [&](const QByteArray& processor, const QByteArray& external) {
        rig.instrument().withInstrument([&](sim::Instrument& device) {
            device.processorFlash().program(expected.processorBase, processor);
            device.externalFlash().program(0, external);
        });
    };
    const QString saveDir = test::testRootDir() + "/saved";
    place(expected.processor, expected.external);
    EXPECT_EQ(rig.instrumentDifference(expected, saveDir), "display language 1, not 0");
    rig.instrument().withInstrument([](sim::Instrument& device) {
        device.setParameter(sim::kLanguageParameterId, kChosenLanguageCode);
    });
    EXPECT_EQ(rig.instrumentDifference(expected, saveDir), "");

    const std::uint32_t checksumWord = setup.set.instrument.checksumWordAddress;
    struct Planted {
        bool external;
        std::uint32_t address;
        QString difference;
    };
    const Planted cases[] = {
        {true, 0, "external flash differs in 1 bytes, first at 0x00000000"},
        {true, 4999, "external flash differs in 1 bytes, first at 0x00001387"},
        {true, 0x7FFFFF, "external flash differs in 1 bytes, first at 0x007fffff"},
        {false, setup.set.firmwareAddress,
         "processor flash differs in 1 bytes, first at 0x08004000"},
        {false, checksumWord + 3, "processor flash differs in 1 bytes, first at 0x080047ff"},
    };
    for (const Planted& planted : cases) {
        QByteArray processor = expected.processor;
        QByteArray external = expected.external;
        QByteArray& flash = planted.external ? external : processor;
        const qsizetype at = planted.address - (planted.external ? 0 : expected.processorBase);
        flash[at] = char(flash[at] ^ 0x10);
        place(processor, external);
        EXPECT_EQ(rig.instrumentDifference(expected, saveDir), planted.difference);
    }
}

// The expectation is worked out without the tool's code; the tool's record reader and checksum
// must agree with it on the set's own record file, or every verdict would be about the harness.
TEST(FlashComparison, ExpectedFirmwareRegionIsWhatTheToolBuildsFromTheRecordFile) {
    const FaultSetup setup = setupOrFail();
    const sim::Instrument factory(setup.set.instrument);
    const std::uint32_t base = factory.processorFlash().base();
    QByteArray image =
        makeFlashImage(setup.set.instrument.processorType, int(factory.processorFlash().size()));
    const QByteArray text = hexRecordText(setup.set.firmware, setup.set.firmwareAddress);
    const RecordFileResult result = buildImageFromRecords(
        text, std::span(reinterpret_cast<std::uint8_t*>(image.data()), std::size_t(image.size())));
    ASSERT_TRUE(result.ok) << result.errorBoxes.join(" | ").toStdString();
    const auto region = firmwareRegion(image.size(), base, factory.layout().mainFirmwareStart,
                                       factory.layout().checksumWordAddress);
    ASSERT_TRUE(region);
    ASSERT_TRUE(sealFirmwareImage(image, *region, 0xFF));
    EXPECT_EQ(image.mid(region->start, region->length()),
              setup.expected.processor.mid(region->start, region->length()));
}

// Every 25th cut point of the full sweep (scripts/sweep runs them all): the cable pulled after
// that request, the instrument plugged back in, a fresh readout must report the set's versions only
// over whole images, one more run must end byte-exact, and no run may report success over wrong
// bytes.
class SampledInterruption : public testing::TestWithParam<int> {};

TEST_P(SampledInterruption, OneRerunRecoversByteExactAndNoRunClaimsWrongBytes) {
    const FaultSetup setup = setupOrFail();
    const CutPointResult point = runCutPoint(setup, GetParam());
    if (!point.cutFired && point.problem.startsWith("the run ended before")) {
        GTEST_SKIP() << "the upgrade is shorter than " << GetParam() << " requests";
    }
    EXPECT_FALSE(point.cutRun.success() && !point.cutRunDifference.isEmpty())
        << point.cutRunDifference.toStdString();
    EXPECT_EQ(point.untruthfulReadout, QString()) << "a fresh readout after the cut";
    EXPECT_TRUE(point.recovered()) << point.problem.toStdString();
    EXPECT_EQ(point.falseSuccesses(), 0) << point.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryTwentyFifth, SampledInterruption,
                         testing::Values(1, 26, 51, 76, 101));

// A short lossy line: answers lost and damaged at the shares of the full run. A run may fail, but
// then it must say so; success over wrong bytes is the one outcome never allowed.
TEST(LossyLine, ARunThatEndsWithWrongBytesNeverReportsSuccess) {
    const FaultSetup setup = setupOrFail();
    LossyFigures figures;
    for (std::uint32_t seed : {101u, 102u, 103u, 104u}) {
        const LossyRunResult run = runLossyUpgrade(setup, 0.01, 0.005, seed);
        EXPECT_FALSE(run.falseSuccess()) << "seed " << seed << ": " << run.problem.toStdString();
        figures.add(run);
    }
    EXPECT_GT(figures.answersLost + figures.answersDamaged, 0) << "the line was not lossy";
    EXPECT_EQ(figures.falseSuccesses, 0);
}

}  // namespace
}  // namespace verimant::faults
