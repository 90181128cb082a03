// Reports appended into an offline folder while something swaps the report, or a folder on its
// way, for a link that leads out of the folder: not a byte may land outside.

#include "base/activity_log.h"
#include "tests/support/test_environment.h"
#include "update/folder_source.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>

#include <gtest/gtest.h>

namespace verimant {
namespace {

QMap<QString, qint64> sizesBelow(const QString& folder) {
    QMap<QString, qint64> sizes;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        sizes.insert(QDir(folder).relativeFilePath(path), QFileInfo(path).size());
    }
    return sizes;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

struct Swapped {
    const char* what;
    QString victim;  // relative to the offline folder
    QString target;  // where the link points, relative to the outside folder
};

// Each swap exchanges the real entry and a link to the outside in one step, so the report's path
// always exists and the appender meets the link at any level at any moment.
TEST(ReportAppendRace, ALinkSwappedInNeverCarriesAReportOutOfTheFolder) {
    const Swapped cases[] = {
        {"the report itself", "log4/__no_number/rep.txt", "rep.txt"},
        {"the instrument's folder", "log4/__no_number", "."},
        {"the reports' folder", "log4", "."},
    };
    const QString root = test::testRootDir() + "/report-race";
    for (const Swapped& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(root).removeRecursively();
        const QString folder = root + "/set";
        const QString outside = root + "/outside";
        ASSERT_TRUE(QDir().mkpath(folder + "/log4/__no_number"));
        ASSERT_TRUE(QDir().mkpath(outside + "/__no_number"));
        for (const char* bait : {"rep.txt", "__no_number/rep.txt"}) {
            ASSERT_TRUE(writeBytes(outside + "/" + QString::fromLatin1(bait), {}));
        }
        ASSERT_TRUE(writeBytes(folder + "/log4/__no_number/rep.txt", {}));
        const QString victim = folder + "/" + c.victim;
        const QString link = victim + ".link";
        ASSERT_TRUE(QFile::link(QDir::cleanPath(outside + "/" + c.target), link));
        const QMap<QString, qint64> outsideBefore = sizesBelow(outside);

        ActivityLog log;
        log.AddLine(QStringLiteral("START: one report"));
        FolderSource source(log, folder);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            const QByteArray a = QFile::encodeName(victim);
            const QByteArray b = QFile::encodeName(link);
            while (!stop.load()) {
                ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE);
            }
        });
        // Bounded by a count and a time, whichever ends first; nothing here measures speed.
        int appended = 0;
        const QDeadlineTimer deadline(2000);
        for (int i = 0; i < 4000 && !deadline.hasExpired(); ++i) {
            appended +=
                source.uploadReport(QString(), QStringLiteral("log4"), QStringLiteral("rep.txt"))
                    ? 1
                    : 0;
        }
        stop = true;
        swapper.join();

        EXPECT_EQ(sizesBelow(outside), outsideBefore);
        EXPECT_GT(appended, 0);
        // Put the real entry back where the swaps may have left the link.
        if (QFileInfo(victim).isSymLink()) {
            ASSERT_EQ(::renameat2(AT_FDCWD, QFile::encodeName(victim).constData(), AT_FDCWD,
                                  QFile::encodeName(link).constData(), RENAME_EXCHANGE),
                      0);
        }
        // The appends that succeeded landed in the folder's own report.
        EXPECT_GE(QFileInfo(folder + "/log4/__no_number/rep.txt").size(),
                  appended * qint64(QByteArrayLiteral("START: one report").size()));
    }
    QDir(root).removeRecursively();
}

}  // namespace
}  // namespace verimant
