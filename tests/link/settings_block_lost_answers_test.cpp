// The settings block over a line that loses answers: a copy that could not be read is no evidence
// of damage, so nothing may be erased or rewritten on its account.

#include "link/settings_block.h"
#include "sim/settings_image.h"
#include "tests/link/device_commands_fixture.h"

#include <functional>

namespace verimant {
namespace {

using test::DeviceCommandsTest;
using test::PtyPeer;

constexpr std::uint32_t kCopy0 = SettingsBlock::kCopyAddress[0];
constexpr std::uint32_t kCopy1 = SettingsBlock::kCopyAddress[1];
constexpr std::uint32_t kSector = 0x1000;
constexpr std::uint8_t kFlashGroup = 0x02;
constexpr std::uint8_t kRead = 0x02;
constexpr std::uint8_t kWrite = 0x03;

// Requests of one external-flash command whose address lies in [from, to).
struct LostRange {
    std::uint8_t command;
    std::uint32_t from;
    std::uint32_t to;
};

bool hits(const LostRange& range, const QByteArray& request) {
    const QByteArray payload = request.mid(4);
    if (payload.size() < 6 || std::uint8_t(payload[0]) != kFlashGroup ||
        std::uint8_t(payload[1]) != range.command) {
        return false;
    }
    const std::uint32_t address =
        readLe32(reinterpret_cast<const std::uint8_t*>(payload.constData()) + 2);
    return address >= range.from && address < range.to;
}

class SettingsBlockLostAnswersTest : public DeviceCommandsTest {
protected:
    // The instrument still carries out every request; only the answers in `lost` never arrive.
    void loseAnswers(std::vector<LostRange> lost) {
        peer.setResponder([this, lost](const QByteArray& request) {
            const std::optional<QByteArray> answer =
                withDevice([&](sim::Instrument& device) { return device.handleFrame(request); });
            for (const LostRange& range : lost) {
                if (hits(range, request)) {
                    return QByteArray();
                }
            }
            return answer ? PtyPeer::wire(*answer) : QByteArray();
        });
    }

    void storeCopy(int copy, const sim::SettingsValues& values) {
        withDevice([&](sim::Instrument& device) {
            device.externalFlash().eraseUnitAt(SettingsBlock::kCopyAddress[copy]);
            device.externalFlash().program(SettingsBlock::kCopyAddress[copy],
                                           sim::settingsBytes(values));
        });
    }

    QByteArray settingsSectors() {
        return withDevice([](sim::Instrument& device) {
            return device.externalFlash().read(kCopy0, int(2 * kSector));
        });
    }

    std::size_t flashOperations() {
        return withDevice([](sim::Instrument& device) { return device.flashOperations().size(); });
    }
};

sim::SettingsValues sealed(std::int32_t language, std::int32_t saves) {
    sim::SettingsValues values = sim::factorySettings(language);
    values[SettingsBlock::kCounterIndex] = saves;
    sim::sealSettings(values);
    return values;
}

sim::SettingsValues damaged(sim::SettingsValues values) {
    values[20] += 1;
    return values;
}

TEST_F(SettingsBlockLostAnswersTest, LoadAfterLostAnswersWritesNothing) {
    struct Case {
        const char* what;
        bool copy0Damaged;
        bool copy1Damaged;
        std::vector<LostRange> lost;
        int failures;
        bool takesCopy1;
    };
    const Case cases[] = {
        {"newer copy 0 unreadable, older copy 1 valid",
         false,
         false,
         {{kRead, kCopy0, kCopy0 + kSector}},
         1,
         true},
        {"copy 0 cut off at its eighth piece",
         false,
         false,
         {{kRead, kCopy0 + 0x70, kCopy0 + 0x80}},
         1,
         true},
        {"both copies unreadable", false, false, {{kRead, kCopy0, kCopy1 + kSector}}, 2, false},
        {"copy 0 damaged, copy 1 unreadable",
         true,
         false,
         {{kRead, kCopy1, kCopy1 + kSector}},
         1,
         false},
        {"copy 0 unreadable, copy 1 damaged",
         false,
         true,
         {{kRead, kCopy0, kCopy0 + kSector}},
         1,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const sim::SettingsValues newer = sealed(3, 8);
        const sim::SettingsValues older = sealed(2, 7);
        storeCopy(0, c.copy0Damaged ? damaged(newer) : newer);
        storeCopy(1, c.copy1Damaged ? damaged(older) : older);
        const QByteArray before = settingsSectors();
        const std::size_t operations = flashOperations();
        loseAnswers(c.lost);

        SettingsBlock block;
        block.load(commands);

        EXPECT_EQ(flashOperations(), operations);
        EXPECT_EQ(settingsSectors(), before);
        EXPECT_EQ(block.settingsFailureCount(), c.failures);
        EXPECT_EQ(block.loadedValid(), c.takesCopy1);
        if (c.takesCopy1) {
            EXPECT_EQ(block.get(6), 2);
        }
    }
}

// Copy 1 keeps the previous block while copy 0 is rewritten; a copy 0 that could not be written
// must leave it alone, and a block never loaded valid is not sealed at all.
TEST_F(SettingsBlockLostAnswersTest, StoreKeepsTheSecondCopyWhenTheFirstFails) {
    storeCopy(0, sealed(2, 7));
    storeCopy(1, sealed(2, 7));
    SettingsBlock block;
    block.load(commands);
    ASSERT_TRUE(block.loadedValid());
    const std::size_t operations = flashOperations();

    loseAnswers({{kWrite, kCopy0, kCopy0 + kSector}});
    block.set(commands, 6, 4);
    EXPECT_EQ(block.settingsFailureCount(), 1);
    const auto written =
        withDevice([](sim::Instrument& device) { return device.flashOperations(); });
    for (std::size_t k = operations; k < written.size(); ++k) {
        EXPECT_LT(written[k].address, kCopy1) << "copy 1 touched by operation " << k;
    }
    const sim::SettingsValues second =
        withDevice([](sim::Instrument& device) { return device.settingsCopy(1); });
    EXPECT_TRUE(sim::settingsValid(second));
    EXPECT_EQ(second[6], 2);

    loseAnswers({{kRead, kCopy0, kCopy1 + kSector}});
    SettingsBlock unread;
    unread.load(commands);
    const std::size_t beforeStore = flashOperations();
    unread.set(commands, 6, 4);
    EXPECT_EQ(flashOperations(), beforeStore);
    EXPECT_EQ(unread.settingsFailureCount(), 3) << "two unread copies and the refused store";
}

}  // namespace
}  // namespace verimant
