#include "cli/cli_temp_folder.h"

#include "platform/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace verimant::cli {
namespace {

TEST(CliTempFolder, EachRunGetsItsOwnPrivateFolderInsideTheToolFolderAndLeavesNothingBehind) {
    const QString toolFolder = toolTempFolder();
    QString firstPath;
    {
        CliTempFolder first;
        CliTempFolder second;
        ASSERT_TRUE(first.isValid()) << first.problem().toStdString();
        ASSERT_TRUE(second.isValid()) << second.problem().toStdString();
        firstPath = first.path();
        EXPECT_NE(first.path(), second.path());
        EXPECT_EQ(QFileInfo(first.path()).absolutePath(), QFileInfo(toolFolder).absoluteFilePath());

        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(first.path()).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);

        QFile file(first.path() + QStringLiteral("/verimant_version_3.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[SERIAL_NUMBER]\n");
        file.close();
        // The window's start empties the tool folder's files; the runs' folders are not files.
        EXPECT_TRUE(QFileInfo::exists(second.path()));
    }
    EXPECT_FALSE(QFileInfo::exists(firstPath));
    EXPECT_TRUE(QDir(toolFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST(CliTempFolder, AToolFolderOthersCanReachIsRefused) {
    const QString toolFolder = toolTempFolder();
    ASSERT_TRUE(QDir().mkpath(toolFolder));
    ASSERT_EQ(::chmod(QFile::encodeName(toolFolder).constData(), 0777), 0);

    CliTempFolder folder;
    EXPECT_FALSE(folder.isValid());
    EXPECT_TRUE(folder.path().isEmpty());
    EXPECT_TRUE(folder.problem().contains(toolFolder)) << folder.problem().toStdString();
    EXPECT_TRUE(QDir(toolFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
}  // namespace verimant::cli
