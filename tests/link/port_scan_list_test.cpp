#include "link/port_scan_list.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

namespace verimant {
namespace {

// Ports are entries named COM<n> in this test's ports folder; the list only looks at names.
class PortScanListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.setLogSink([this](const QString& line) { logged << line; });
    }

    static QString portPath(int port) {
        return qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM" + QString::number(port);
    }
    static void add(int port) {
        QFile file(portPath(port));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    static void remove(int port) { ASSERT_TRUE(QFile::remove(portPath(port))); }

    QList<int> order() const {
        QList<int> ports;
        for (int i = 0; i < list.count(); ++i) {
            ports << list.portAt(i);
        }
        return ports;
    }

    PortScanList list;
    QStringList logged;
};

TEST_F(PortScanListTest, PortsPresentAtStartWaitUntilTheyComeBack) {
    add(3);
    add(5);
    list.rebuild();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.excluded(3));
    EXPECT_FALSE(list.changed());
    list.rebuild();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.state(3), PortScanList::PresentBefore);

    remove(3);
    list.rebuild();
    EXPECT_EQ(list.state(3), PortScanList::Absent);
    EXPECT_FALSE(list.excluded(3));
    add(3);
    list.rebuild();
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(order(), QList<int>{3});
    EXPECT_TRUE(list.excluded(5));
}

TEST_F(PortScanListTest, NewPortsComeFirstAndStayInTheRotation) {
    add(9);
    list.rebuild();
    add(4);
    add(12);
    list.rebuild();
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(list.state(4), PortScanList::NewlyPresent);
    EXPECT_EQ(order(), (QList<int>{4, 12}));
    EXPECT_EQ(list.portAt(2), -1);

    add(2);
    list.rebuild();
    // The new one before the ones already tried.
    EXPECT_EQ(order(), (QList<int>{2, 4, 12}));
    list.rebuild();
    EXPECT_FALSE(list.changed());
    EXPECT_EQ(order(), (QList<int>{2, 4, 12}));
}

TEST_F(PortScanListTest, LastConnectedPortLeadsAndCountsAsChangedWhilePresent) {
    add(6);
    add(8);
    list.setLastConnectedPort(8);
    list.rebuild();
    // Present at start, yet tried: the tool was connected to it.
    EXPECT_EQ(order(), QList<int>{8});
    EXPECT_TRUE(list.changed());
    EXPECT_FALSE(list.excluded(8));

    add(1);
    list.rebuild();
    EXPECT_EQ(order(), (QList<int>{8, 1}));
    EXPECT_EQ(list.state(8), PortScanList::LastConnected);
    list.rebuild();
    EXPECT_TRUE(list.changed());

    remove(8);
    list.rebuild();
    EXPECT_FALSE(list.changed());
    EXPECT_EQ(order(), QList<int>{1});
}

TEST_F(PortScanListTest, PortListIsLoggedOncePerChangeAndPortsFromAThousandOnAreNeverTried) {
    list.rebuild();
    EXPECT_TRUE(logged.isEmpty());
    add(5);
    list.rebuild();
    list.rebuild();
    add(1000);
    add(12);
    list.rebuild();
    EXPECT_EQ(order(), (QList<int>{12, 5}));
    EXPECT_EQ(list.state(1000), PortScanList::Absent);
    list.rebuild();
    remove(5);
    remove(12);
    remove(1000);
    list.rebuild();
    list.rebuild();
    EXPECT_EQ(logged, (QStringList{"PORT LIST: 5", "PORT LIST: 1000,12,5", "PORT LIST: "}));
}

}  // namespace
}  // namespace verimant
