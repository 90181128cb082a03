// verimant-cli mirror replacing a signed set: what it must refuse, and a kill at every step of the
// switch, each leaving the folder's previous set or the new one whole.

#include "tests/cli/mirror_fixture.h"

#include <QSet>

#include <functional>

#include <gtest/gtest.h>

namespace verimant::test {
namespace {

const QString kConfig = QStringLiteral("verimant_version_3.ini");
const QString kSignature = QStringLiteral("verimant_version_3.ini.sig");
const QString kRuEn = QStringLiteral("verimant_efl_ru_en_1_6.bin");
const QString kReport = QStringLiteral("log4/1_23/45xxx/6xx/rep.txt");

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

class MirrorSetSwitchTest : public MirrorCliTest {
public:
    // A signed set in the mirror, with an operator's report beside it.
    void mirrorSignedSet(qint64 signedAt = QDateTime::currentSecsSinceEpoch()) {
        ASSERT_TRUE(set.signConfig(demoSigningKey(), signedAt));
        const CliResult result = mirrorRun();
        ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
        ASSERT_TRUE(QDir().mkpath(mirror + "/log4/1_23/45xxx/6xx"));
        ASSERT_TRUE(writeBytes(mirror + "/" + kReport, "START: the operator's report\n"));
    }

    // The next set: one firmware file changed under its name, the EURO image under a new name.
    void publishNextSet() {
        const QString euro17 = QStringLiteral("verimant_efl_euro_1_7.bin");
        ASSERT_TRUE(QFile::rename(set.root() + "/" + kEuro, set.root() + "/" + euro17));
        ASSERT_TRUE(set.editConfig("NAME=" + kEuro, "NAME=" + euro17));
        ASSERT_TRUE(set.replaceFile(euro17, QByteArray(4096, '\x5A')));
        ASSERT_TRUE(
            set.replaceFile("fw/" + kFirmware, set.file("fw/" + kFirmware) + ":00000001FF\r\n"));
        ASSERT_TRUE(set.replaceFile(kRuEn, QByteArray(8192, '\x3C')));
        ASSERT_TRUE(set.signConfig(demoSigningKey()));
    }

    // Whether the folder holds every file of `expected` byte for byte: that set is whole there.
    static bool holdsWhole(const QMap<QString, QByteArray>& now,
                           const QMap<QString, QByteArray>& expected) {
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            if (now.value(it.key()) != it.value() || !now.contains(it.key())) {
                return false;
            }
        }
        return true;
    }

    static QStringList workFolders(const QString& folder) {
        return QDir(folder).entryList({".verimant-mirror-*"}, QDir::Dirs | QDir::Hidden);
    }

    QString policyPath() const { return qEnvironmentVariable("VERIMANT_POLICY_FILE"); }
};

struct Refusal {
    const char* what;
    // Changes the server's set (or the mirror, or the machine's policy) before the run.
    std::function<void(MirrorSetSwitchTest&)> prepare;
    QStringList arguments;  // after "mirror DIR"
    int exitCode;
    QString said;  // on standard error
};

// A set the folder must not take leaves it exactly as it was: not a byte of the previous set,
// the operator's report or anything else changes, and no work folder stays behind.
TEST_F(MirrorSetSwitchTest, ARefusedSetLeavesTheFolderAsItWas) {
    const std::vector<Refusal> refusals = {
        {"one byte changed beside the old signature",
         [](MirrorSetSwitchTest& t) {
             QByteArray config = t.set.file(kConfig);
             config[config.indexOf("VERSION_APP=") + 12] = '0';
             ASSERT_TRUE(writeBytes(t.set.root() + "/" + kConfig, config));
         },
         {},
         1,
         "the configuration's signature was refused"},
        {"an unsigned configuration cut at a line boundary",
         [](MirrorSetSwitchTest& t) {
             const QByteArray config = t.set.file(kConfig);
             ASSERT_TRUE(writeBytes(t.set.root() + "/" + kConfig,
                                    config.left(config.indexOf("[FILE:") - 1)));
             ASSERT_TRUE(QFile::remove(t.set.root() + "/" + kSignature));
         },
         {},
         1,
         "the folder's set is signed, so the next one must be too"},
        {"an unsigned set into an unsigned folder under --require-signature",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(QFile::remove(t.mirror + "/" + kSignature));
             ASSERT_TRUE(t.set.replaceFile(kRuEn, QByteArray(100, '\x01')));
         },
         {"--require-signature"},
         1,
         "the configuration's signature was refused"},
        {"an unsigned set under the machine's policy",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(QFile::remove(t.mirror + "/" + kSignature));
             ASSERT_TRUE(t.set.replaceFile(kRuEn, QByteArray(100, '\x01')));
             ASSERT_TRUE(writeBytes(t.policyPath(), "RequireSignedConfiguration=true\n"));
         },
         {},
         1,
         "the configuration's signature was refused"},
        {"a file whose folder cannot be made",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(t.set.replaceFile("fw/" + kFirmware, "a changed record file\r\n"));
             ASSERT_TRUE(QDir().mkpath(t.set.root() + "/blocked"));
             ASSERT_TRUE(
                 QFile::rename(t.set.root() + "/" + kEuro, t.set.root() + "/blocked/" + kEuro));
             ASSERT_TRUE(t.set.editConfig("NAME=" + kEuro, "NAME=blocked\\" + kEuro));
             ASSERT_TRUE(t.set.signConfig(demoSigningKey()));
             // A plain file where the new set needs a folder.
             ASSERT_TRUE(writeBytes(t.mirror + "/blocked", "not a folder"));
         },
         {},
         1,
         "could not put 'blocked\\" + kEuro + "' into"},
        {"a folder in a file's place, met during the switch",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(t.set.replaceFile("fw/" + kFirmware, "a changed record file\r\n"));
             ASSERT_TRUE(t.set.replaceFile(kRuEn, QByteArray(100, '\x02')));
             ASSERT_TRUE(t.set.signConfig(demoSigningKey()));
             ASSERT_TRUE(QFile::remove(t.mirror + "/" + kRuEn));
             ASSERT_TRUE(QDir().mkpath(t.mirror + "/" + kRuEn));
             ASSERT_TRUE(writeBytes(t.mirror + "/" + kRuEn + "/notes.txt", "an engineer's"));
         },
         {},
         1,
         "could not put the new set into"},
        {"a name that reaches the reports only once cleaned",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(
                 t.set.editConfig("NAME=" + kEuro, "NAME=.\\log4\\1_23\\45xxx\\6xx\\rep.txt"));
             ASSERT_TRUE(t.set.signConfig(demoSigningKey()));
         },
         {},
         1,
         "the reports' folder log4 is not the server's to fill"},
        {"a file named like the configuration's signature",
         [](MirrorSetSwitchTest& t) {
             ASSERT_TRUE(t.set.editConfig("NAME=" + kEuro, "NAME=.\\" + kSignature));
             ASSERT_TRUE(t.set.signConfig(demoSigningKey()));
         },
         {},
         1,
         "refused the name '.\\" + kSignature + "': the configuration's own place"},
        {"--source, which mirror cannot honour",
         [](MirrorSetSwitchTest& t) { ASSERT_TRUE(t.set.replaceFile(kRuEn, "new")); },
         {"--source", testRootDir() + "/elsewhere"},
         2,
         "--source does not apply"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        SetUp();
        mirrorSignedSet();
        refusal.prepare(*this);
        const QMap<QString, QByteArray> before = folderContents(mirror);
        const CliResult result = runCli(QStringList{"mirror", mirror} + refusal.arguments);
        EXPECT_EQ(result.exitCode, refusal.exitCode) << result.out;
        EXPECT_TRUE(result.err.contains(refusal.said)) << result.err;
        EXPECT_EQ(folderContents(mirror), before);
        EXPECT_TRUE(workFolders(mirror).isEmpty()) << workFolders(mirror).join(' ');
        QFile::remove(policyPath());
        server.stop();
    }
    const CliResult fetch = runCli({"fetch", kConfig, "--source", mirror});
    EXPECT_EQ(fetch.exitCode, 2);
    EXPECT_TRUE(fetch.err.contains("fetch reads the update server")) << fetch.err;
}

// A kill after any step of the switch leaves the previous set whole, the new one whole, or no
// configuration at all (which every reader refuses). The next run settles it into one whole set
// even with the server gone, and the Local source takes that set under --require-signature.
TEST_F(MirrorSetSwitchTest, AKillAtEveryStepLeavesOneWholeSet) {
    // An hour before the next set, so that one is newer whatever second each signing falls into.
    mirrorSignedSet(QDateTime::currentSecsSinceEpoch() - 3600);
    // A work folder a run killed while it was still fetching: nothing to undo, only to remove.
    ASSERT_TRUE(QDir().mkpath(mirror + "/.verimant-mirror-Ab12Cd/sub"));
    ASSERT_TRUE(writeBytes(mirror + "/.verimant-mirror-Ab12Cd/file-0", "half a download"));
    ASSERT_EQ(mirrorRun().exitCode, 0);
    EXPECT_TRUE(workFolders(mirror).isEmpty());
    const QMap<QString, QByteArray> previous = folderContents(mirror);
    publishNextSet();
    const QString next = testRootDir() + "/mirror-next";
    QDir(next).removeRecursively();
    ASSERT_EQ(runCli({"mirror", next}).exitCode, 0);
    QMap<QString, QByteArray> whole = folderContents(next);
    whole.insert(kReport, previous.value(kReport));

    const QByteArray serverAddress = qgetenv("VERIMANT_UPDATE_SERVER");
    int kills = 0;
    QSet<QString> statesSeen;
    for (int step = 0; step < 40; ++step) {
        SCOPED_TRACE(step);
        QDir(mirror).removeRecursively();
        for (auto it = previous.begin(); it != previous.end(); ++it) {
            QDir().mkpath(QFileInfo(mirror + "/" + it.key()).path());
            ASSERT_TRUE(writeBytes(mirror + "/" + it.key(), it.value()));
        }
        qputenv("VERIMANT_MIRROR_KILL_AFTER_STEP", QByteArray::number(step));
        const CliResult killed = mirrorRun();
        qunsetenv("VERIMANT_MIRROR_KILL_AFTER_STEP");
        if (killed.exitCode == 0) {
            break;
        }
        ASSERT_EQ(killed.exitCode, -1) << killed.err;
        ++kills;

        // What a reader finds right after the kill.
        const QMap<QString, QByteArray> left = folderContents(mirror);
        const bool hasConfig = left.contains(kConfig);
        const bool previousWhole = holdsWhole(left, previous);
        const bool nextWhole = holdsWhole(left, whole);
        EXPECT_TRUE(!hasConfig || previousWhole || nextWhole);
        statesSeen.insert(!hasConfig ? "none" : previousWhole ? "previous" : "next");
        // This user has already accepted the next set, so the previous one is older than it.
        const QStringList readSigned = {"config", "--source", mirror, "--require-signature",
                                        "--allow-older-set"};
        const CliResult read = runCli(readSigned);
        EXPECT_EQ(read.exitCode, hasConfig ? 0 : 1) << read.err;

        // The next run settles the folder before it even reaches the (now absent) server.
        qputenv("VERIMANT_UPDATE_SERVER", "ftp://u:p@127.0.0.1:1");
        const CliResult settled = mirrorRun();
        qputenv("VERIMANT_UPDATE_SERVER", serverAddress);
        EXPECT_EQ(settled.exitCode, 1);
        const QMap<QString, QByteArray> after = folderContents(mirror);
        EXPECT_TRUE(after == previous || after == whole) << after.keys().join(' ');
        const CliResult reread = runCli(readSigned);
        EXPECT_EQ(reread.exitCode, 0) << reread.err;
    }
    EXPECT_GE(kills, 10);
    EXPECT_EQ(statesSeen, QSet<QString>({"previous", "none", "next"}));
    EXPECT_EQ(folderContents(mirror), whole);
}

}  // namespace
}  // namespace verimant::test
