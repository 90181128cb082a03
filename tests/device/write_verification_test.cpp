#include "device/update_efl.h"
#include "device/update_kmt2.h"

#include "tests/device/simulated_device.h"

#include <gtest/gtest.h>

#include <functional>

namespace verimant {
namespace {

using sim::InstrumentMode;
using test::SimulatedDevice;

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kRegion = 0x4000;

QString demoFirmware() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex");
}

struct Writer {
    const char* name;
    InstrumentMode mode;
    long long byteThatDoesNotTake;  // holds a byte other than 0xFF in the image
    std::function<bool(SimulatedDevice&, const WriteOptions&)> write;
};

// An instrument can answer a write while its flash does not hold the bytes. Only the read-back
// tells: without it such a write counts as written.
TEST(WriteVerification, ReadBackCatchesAByteThatDidNotTakeAndPassesASoundFlash) {
    const QString data = test::writeTestFile("verify.bin", test::patternBytes(10000, 3));
    const Writer writers[] = {
        {"main firmware", InstrumentMode::BootLoader, kMainStart + 0x100,
         [](SimulatedDevice& device, const WriteOptions& options) {
             return Update_KMT2(device.session, demoFirmware(), options);
         }},
        {"data image", InstrumentMode::MainFirmware, 5000,
         [data](SimulatedDevice& device, const WriteOptions& options) {
             return Update_EFL(device.session, data, options);
         }},
    };
    for (const Writer& writer : writers) {
        for (const bool stuck : {false, true}) {
            SCOPED_TRACE(std::string(writer.name) + (stuck ? ", a byte stuck" : ", sound"));
            sim::InstrumentConfig config;
            config.startMode = writer.mode;
            config.checksumWordAddress = kMainStart + kRegion - 4;
            sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
            options.faults.stuckByteAt = stuck ? writer.byteThatDoesNotTake : -1;
            SimulatedDevice device(config, options);
            ASSERT_TRUE(device.start());

            EXPECT_EQ(writer.write(device, WriteOptions{}), true)
                << "unverified, any answer counts";
            EXPECT_EQ(writer.write(device, WriteOptions{.verify = true}), !stuck);

            const QStringList log = device.logLines();
            if (stuck) {
                const QString address = QString::number(writer.byteThatDoesNotTake, 16)
                                            .toUpper()
                                            .rightJustified(6, u'0');
                EXPECT_TRUE(log.contains("# ПРОВЕРКА: расхождение с A=0x" + address + ", байт: 1"))
                    << log.join('\n').toStdString();
            } else {
                EXPECT_EQ(log.count("# ПРОВЕРКА: OK"), 1);
                EXPECT_TRUE(device.dialogs.progress.contains(100));
            }
        }
    }
}

}  // namespace
}  // namespace verimant
