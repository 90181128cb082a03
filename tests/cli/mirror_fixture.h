#pragma once

// A real FTP server serving the demo's update set, one file in a server folder, and the folder
// verimant-cli mirror fills.

#include "tests/cli/cli_process.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/update_set_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

namespace verimant::test {

inline const QString kFirmware = QStringLiteral("verimant_kmt2_3_2.hex");
inline const QString kEuro = QStringLiteral("verimant_efl_euro_1_6.bin");

inline QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray demoSigningKey() {
    QFile key(QStringLiteral(VERIMANT_SOURCE_DIR "/examples/demo-signing-key.DEMO-ONLY.key"));
    return key.open(QIODevice::ReadOnly) ? QByteArray::fromBase64(key.readAll().trimmed())
                                         : QByteArray();
}

// Every file below `folder` (hidden ones too, links not followed) by its relative path.
inline QMap<QString, QByteArray> folderContents(const QString& folder) {
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        contents.insert(QDir(folder).relativeFilePath(path), bytesOf(path));
    }
    return contents;
}

class MirrorCliTest : public ::testing::Test {
public:
    void SetUp() override {
        QDir(set.root()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(set.root()));
        QDir(mirror).removeRecursively();
        QDir(outside).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(outside));
        ASSERT_TRUE(set.copyDemoSet());
        // One file in a server folder, which must become a subfolder of the mirror.
        ASSERT_TRUE(QDir().mkpath(set.root() + "/fw"));
        ASSERT_TRUE(QFile::rename(set.root() + "/" + kFirmware, set.root() + "/fw/" + kFirmware));
        ASSERT_TRUE(set.editConfig("NAME=" + kFirmware, "NAME=fw\\" + kFirmware));
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
        server.exportToEnvironment();
    }

    CliResult mirrorRun() { return runCli({"mirror", mirror}); }

    // Every file of the server's set is in the mirror, byte for byte, at its place.
    void expectWholeSet() {
        for (const QString& name :
             {QStringLiteral("verimant_version_3.ini"), QStringLiteral("verimant_sn_base.bin"),
              "fw/" + kFirmware, QStringLiteral("verimant_efl_ru_en_1_6.bin"), kEuro}) {
            EXPECT_EQ(bytesOf(mirror + "/" + name), set.file(name)) << name;
        }
    }

    UpdateSetFolder set{testRootDir() + "/server"};
    FtpTestServer server{set.root()};
    QString mirror = testRootDir() + "/mirror";
    QString outside = testRootDir() + "/outside";
};

}  // namespace verimant::test
