#include "platform/port_map.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <vector>

namespace verimant {
namespace {

class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = qEnvironmentVariable("VERIMANT_PORTS_DIR");
        ASSERT_FALSE(folder.isEmpty());
        QDir dir(folder);
        for (const QString& name :
             dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            QFile::remove(dir.filePath(name));
        }
    }

    void link(const QString& name, const QString& target) {
        ASSERT_TRUE(QFile::link(target, folder + "/" + name)) << qPrintable(name);
    }

    std::vector<std::int32_t> listed(int capacity, bool compact) {
        std::vector<PortEntry> entries(std::size_t(capacity), PortEntry{});
        int count = capacity;
        enumeratePorts(entries.data(), count);
        if (compact) {
            compactPortEntries(entries.data(), count);
        }
        std::vector<std::int32_t> numbers;
        for (int i = 0; i < count; ++i) {
            numbers.push_back(entries[std::size_t(i)].portNumber);
        }
        return numbers;
    }

    QString folder;
};

TEST_F(PortMapTest, FolderEntriesNamedComAreThePorts) {
    link("COM12", "/dev/null");
    link("com7", "/dev/zero");
    link("LPT1", "/dev/null");
    link("COM7", "/dev/full");  // sorts before com7
    using Numbers = std::vector<std::int32_t>;
    // Every entry takes a slot; LPT1 names no port.
    EXPECT_EQ(listed(10, false), (Numbers{12, 7, 255, 7}));
    EXPECT_EQ(listed(10, true), (Numbers{12, 7}));
    EXPECT_EQ(portDevicePath(7), "/dev/full") << "the first entry for a number wins";
    EXPECT_EQ(portDevicePath(12), "/dev/null");
    EXPECT_TRUE(portDevicePath(1).isEmpty());
    EXPECT_TRUE(portDevicePath(0).isEmpty());
}

TEST_F(PortMapTest, EntriesWithoutAUsableNumberAreNotPorts) {
    link("COM", "/dev/null");
    link("COM255", "/dev/null");          // the empty marker itself
    link("COM99999999999", "/dev/null");  // does not fit
    link("COM5.link", "/dev/null");       // trailing non-digits are skipped
    link("COM9", folder + "/gone");       // dangling: listed, but cannot be opened
    using Numbers = std::vector<std::int32_t>;
    EXPECT_EQ(listed(10, true), (Numbers{5, 9}));
    EXPECT_EQ(portDevicePath(5), "/dev/null");
    EXPECT_TRUE(portDevicePath(9).isEmpty());
}

TEST_F(PortMapTest, CapacityLimitsWhatIsReadAndNoStaleNumberStays) {
    link("AUX", "/dev/null");
    link("COM1", "/dev/null");
    link("COM2", "/dev/null");
    link("COM3", "/dev/null");
    using Numbers = std::vector<std::int32_t>;
    EXPECT_EQ(listed(2, true), Numbers{1}) << "AUX takes a slot too, naming no port";
    EXPECT_EQ(listed(3, true), (Numbers{1, 2}));
    int count = 0;
    PortEntry entry;
    enumeratePorts(&entry, count);
    EXPECT_EQ(count, 0);

    // Slots left over from an earlier look are overwritten or emptied, never kept.
    std::vector<PortEntry> entries(5, PortEntry{7, 0});
    count = 5;
    enumeratePorts(entries.data(), count);
    ASSERT_EQ(count, 4);
    compactPortEntries(entries.data(), count);
    EXPECT_EQ(count, 3);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].portNumber, i < 3 ? int(i) + 1 : PortEntry::kEmpty) << i;
    }
}

TEST(PortEntries, CompactionKeepsFirstOccurrences) {
    std::vector<PortEntry> entries;
    for (int number : {255, 3, 5, 3, 255, 5, 7, 3}) {
        entries.push_back(PortEntry{number, 0});
    }
    int count = int(entries.size());
    compactPortEntries(entries.data(), count);
    ASSERT_EQ(count, 3);
    std::vector<std::int32_t> numbers;
    for (const PortEntry& entry : entries) {
        numbers.push_back(entry.portNumber);
    }
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{3, 5, 7, 255, 255, 255, 255, 255}));
}

TEST(PortEntries, NumberFromName) {
    const struct {
        const char* name;
        int number;
    } rows[] = {{"COM12", 12}, {"com7", 7}, {"COM3 (USB)", 3}, {"COM1x2", 2}, {"COM", 0}, {"", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(portNumberFromName(row.name), row.number) << row.name;
    }
}

TEST(SystemPorts, NumberingMatchesTheDevices) {
    const QByteArray saved = qgetenv("VERIMANT_PORTS_DIR");
    qunsetenv("VERIMANT_PORTS_DIR");
    std::vector<PortEntry> entries(1000);
    int count = 1000;
    enumeratePorts(entries.data(), count);
    compactPortEntries(entries.data(), count);
    int previous = 0;
    for (int i = 0; i < count; ++i) {
        const int number = entries[std::size_t(i)].portNumber;
        EXPECT_GT(number, previous) << "sorted by number, each once";
        EXPECT_LE(number, 254);
        const QString path = portDevicePath(number);
        EXPECT_TRUE(path.startsWith("/dev/tty")) << qPrintable(path);
        previous = number;
    }
    EXPECT_TRUE(portDevicePath(300).isEmpty());
    qputenv("VERIMANT_PORTS_DIR", saved);
}

}  // namespace
}  // namespace verimant
