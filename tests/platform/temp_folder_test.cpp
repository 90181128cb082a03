#include "platform/temp_folder.h"

#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>
#include <functional>

namespace verimant {
namespace {

QString scratch(const QString& name) {
    const QString root = test::testRootDir() + "/private";
    QDir().mkpath(root);
    return root + "/" + name;
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

TEST(PrivateFolder, IsCreatedForTheUserAloneAndAcceptedAgain) {
    const QString folder = scratch("fresh");
    // A generous umask must not open the folder to others.
    const mode_t oldMask = ::umask(0);
    EXPECT_EQ(preparePrivateFolder(folder), PrivateFolderStatus::Ready);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(folder), mode_t(0700));
    QFile kept(folder + "/kept.bin");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    EXPECT_EQ(preparePrivateFolder(folder), PrivateFolderStatus::Ready);
    EXPECT_TRUE(QFile::exists(folder + "/kept.bin")) << "preparing never empties the folder";
}

// Each case plants something at the folder's place before the tool looks at it.
struct Planted {
    const char* what;
    std::function<void(const QString&)> plant;
    PrivateFolderStatus expected;
};

TEST(PrivateFolder, RefusesWhatAnotherUserCouldReach) {
    const QString elsewhere = scratch("elsewhere");
    QDir().mkpath(elsewhere);
    ::chmod(QFile::encodeName(elsewhere).constData(), 0700);
    const std::vector<Planted> cases = {
        {"link to a private folder", [&](const QString& at) { QFile::link(elsewhere, at); },
         PrivateFolderStatus::NotAFolder},
        {"dangling link", [&](const QString& at) { QFile::link(elsewhere + "/none", at); },
         PrivateFolderStatus::NotAFolder},
        {"plain file",
         [](const QString& at) {
             QFile file(at);
             file.open(QIODevice::WriteOnly);
         },
         PrivateFolderStatus::NotAFolder},
        {"folder open to everyone",
         [](const QString& at) {
             QDir().mkpath(at);
             ::chmod(QFile::encodeName(at).constData(), 01777);
         },
         PrivateFolderStatus::OpenToOthers},
        {"folder readable by the group",
         [](const QString& at) {
             QDir().mkpath(at);
             ::chmod(QFile::encodeName(at).constData(), 0740);
         },
         PrivateFolderStatus::OpenToOthers},
    };
    int n = 0;
    for (const Planted& c : cases) {
        const QString at = scratch(QStringLiteral("planted-%1").arg(n++));
        c.plant(at);
        EXPECT_EQ(preparePrivateFolder(at), c.expected) << c.what;
        EXPECT_FALSE(privateFolderProblem(c.expected).isEmpty());
    }
    // The link's target was never touched.
    EXPECT_EQ(modeOf(elsewhere), mode_t(0700));
}

TEST(PrivateFolder, RefusesAFolderOfAnotherUser) {
    const QString folder = scratch("foreign");
    ASSERT_EQ(preparePrivateFolder(folder), PrivateFolderStatus::Ready);
    // Seen from another user, the same folder is foreign.
    EXPECT_EQ(preparePrivateFolder(folder, ::getuid() + 1), PrivateFolderStatus::ForeignOwner);
    if (::geteuid() == 0) {
        // As root the real thing can be staged: a folder that really belongs to someone else.
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        EXPECT_EQ(preparePrivateFolder(folder), PrivateFolderStatus::ForeignOwner);
    }
}

TEST(PrivateFolder, ReportsWhatCannotBeCreated) {
    const QString file = scratch("a-file");
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_EQ(preparePrivateFolder(file + "/below"), PrivateFolderStatus::CannotCreate);
    EXPECT_EQ(preparePrivateFolder(scratch("missing/parent")), PrivateFolderStatus::CannotCreate);
    EXPECT_EQ(preparePrivateFolder(QString()), PrivateFolderStatus::NoPath);
}

}  // namespace
}  // namespace verimant
