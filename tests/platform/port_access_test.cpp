#include "platform/port_access.h"

#include "tests/support/unprivileged_user.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <cerrno>

namespace verimant {
namespace {

using test::ActingAsNobody;

// A fresh pseudo-terminal: a real terminal device whose owner and mode the test may change.
class PtyDevice {
public:
    PtyDevice() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
        }
    }
    ~PtyDevice() {
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    QString path() const { return slavePath_; }

private:
    int master_;
    QString slavePath_;
};

// What the kernel says when this process opens the device as the tool does.
int openError(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return 0;
}

// The decision must agree with what open() really does: a port reported as usable that the
// kernel refuses (or the reverse) would send the user after the wrong fault.
TEST(PortAccess, AgreesWithOpenAndTellsWhatToDo) {
    struct Case {
        mode_t mode;
        bool mayOpen;
        QString adviceEnd;  // empty: no advice expected
    };
    QList<Case> cases;
    if (test::runningAsRoot()) {
        cases = {
            {0660, false,
             "join the group dialout that owns it (sudo adduser nobody dialout), then "
             "log out and in again"},
            {0600, false,
             "(owner root, group dialout, mode 0600): ask the administrator for read "
             "and write access"},
            {0666, true, {}},
        };
    } else {
        cases = {{0, false, "mode 0000): ask the administrator for read and write access"}};
    }
    for (const Case& c : cases) {
        PtyDevice device;
        ASSERT_FALSE(device.path().isEmpty());
        ASSERT_TRUE(test::refuseAccess(device.path(), c.mode));
        ActingAsNobody nobody;
        const int error = openError(device.path());
        EXPECT_EQ(isPermissionError(error), !c.mayOpen) << "mode " << c.mode << " errno " << error;
        EXPECT_EQ(userMayOpen(device.path()), c.mayOpen) << "mode " << c.mode;
        if (!c.mayOpen) {
            const QString advice = portPermissionAdvice(device.path());
            EXPECT_TRUE(advice.startsWith("No permission to open " + device.path()))
                << advice.toStdString();
            EXPECT_TRUE(advice.endsWith(c.adviceEnd)) << advice.toStdString();
        }
    }
}

// A missing device is a different problem, told elsewhere: it must not be reported as a
// permission one.
TEST(PortAccess, MissingDeviceIsNoPermissionProblem) {
    const QString missing = "/dev/verimant-no-such-device";
    EXPECT_TRUE(userMayOpen(missing));
    EXPECT_TRUE(userMayOpen(QString()));
    EXPECT_FALSE(isPermissionError(openError(missing)));
    EXPECT_TRUE(deviceGroupName(missing).isEmpty());
    EXPECT_EQ(portPermissionAdvice(missing), "No permission to open " + missing);
}

}  // namespace
}  // namespace verimant
