// verimant-cli mirror against a real FTP server serving the demo's update set.

#include "tests/cli/mirror_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

#include <gtest/gtest.h>

namespace verimant::test {
namespace {

TEST_F(MirrorCliTest, FetchesTheWholeSetThenOnlyWhatChangedAndLeavesReportsAlone) {
    CliResult result = mirrorRun();
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_TRUE(result.out.contains("5 fetched, 0 kept, 0 removed\n")) << result.out;
    expectWholeSet();
    // Nothing of the run's own work is left behind.
    EXPECT_EQ(QDir(mirror).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"fw", "verimant_efl_euro_1_6.bin", "verimant_efl_ru_en_1_6.bin",
                           "verimant_sn_base.bin", "verimant_version_3.ini"}));

    ASSERT_TRUE(QDir().mkpath(mirror + "/log4/1_23/45xxx/6xx"));
    QFile report(mirror + "/log4/1_23/45xxx/6xx/rep.txt");
    ASSERT_TRUE(report.open(QIODevice::WriteOnly));
    report.write("START: a report\n");
    report.close();

    // A script reads the same from the document.
    result = runCli({"mirror", mirror, "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_TRUE(result.err.contains("0 fetched, 5 kept, 0 removed\n")) << result.err;
    const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8()).object();
    EXPECT_EQ(document.value("kept").toArray().size(), 5) << result.out;
    EXPECT_TRUE(document.value("fetched").toArray().isEmpty());
    EXPECT_EQ(document.value("failed").toInt(-1), 0);

    // A new EURO image under a new name: fetched, and the old name leaves the mirror.
    const QString euro17 = QStringLiteral("verimant_efl_euro_1_7.bin");
    ASSERT_TRUE(QFile::rename(set.root() + "/" + kEuro, set.root() + "/" + euro17));
    ASSERT_TRUE(set.editConfig("NAME=" + kEuro, "NAME=" + euro17));
    ASSERT_TRUE(set.replaceFile(euro17, QByteArray(4096, '\x5A')));
    result = mirrorRun();
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    for (const QString& line :
         {"fetched " + euro17, "removed " + kEuro, QStringLiteral("fetched verimant_version_3.ini"),
          QStringLiteral("kept fw\\") + kFirmware}) {
        EXPECT_TRUE(result.out.contains(line + "\n")) << line << "\n" << result.out;
    }
    EXPECT_FALSE(QFile::exists(mirror + "/" + kEuro));
    EXPECT_EQ(bytesOf(mirror + "/" + euro17), QByteArray(4096, '\x5A'));
    EXPECT_EQ(bytesOf(mirror + "/log4/1_23/45xxx/6xx/rep.txt"), "START: a report\n");
}

QStringList namesIn(const QJsonValue& list) {
    QStringList names;
    for (const QJsonValue& name : list.toArray()) {
        names << name.toString();
    }
    return names;
}

// A script reads a signed set's run as the text counts it, the signature among the files; the
// document alone is on standard output, from a first run that asks the server for sizes too.
TEST_F(MirrorCliTest, TheDocumentListsTheSignatureWhereTheTextCountsIt) {
    ASSERT_TRUE(set.signConfig(demoSigningKey()));
    const QString signature = QStringLiteral("verimant_version_3.ini.sig");
    for (const char* word : {"fetched", "kept"}) {
        const CliResult result = runCli({"mirror", mirror, "--json"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        QJsonParseError error{};
        const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << result.out;
        const QStringList listed = namesIn(document.value(word));
        EXPECT_TRUE(listed.contains(signature)) << word << ": " << listed.join(' ');
        EXPECT_TRUE(result.err.contains(QStringLiteral("%1 %2\n").arg(word, signature)));
        EXPECT_TRUE(result.err.contains(QStringLiteral(" %1 %2").arg(listed.size()).arg(word)))
            << result.err;
    }
}

struct MirrorFault {
    const char* what;
    // Breaks the server's set (or the mirror) before the run.
    std::function<void(MirrorCliTest&)> breakIt;
    QString said;  // on standard error
};

// A run that cannot bring the whole set says which file failed, exits 1, writes nothing outside
// the mirror, and never puts a bad file where a good one belongs.
TEST_F(MirrorCliTest, HostileNamesAndBadFilesFailTheRunAndWriteNothingOutside) {
    const std::vector<MirrorFault> faults = {
        {"a name climbing out",
         [](MirrorCliTest& t) {
             ASSERT_TRUE(t.set.editConfig("NAME=" + kEuro, "NAME=..\\outside\\" + kEuro));
         },
         "refused the name '..\\outside\\" + kEuro + "': \"..\" in the name"},
        {"an absolute name",
         [](MirrorCliTest& t) {
             ASSERT_TRUE(t.set.editConfig("NAME=" + kEuro, "NAME=" + t.outside + "/" + kEuro));
         },
         "refused the name '" + outside + "/" + kEuro + "': absolute name"},
        {"a link in the mirror leading out",
         [](MirrorCliTest& t) {
             ASSERT_TRUE(QDir().mkpath(t.mirror));
             ASSERT_TRUE(QFile::link(t.outside, t.mirror + "/fw"));
         },
         "refused the name 'fw\\" + kFirmware + "': a link leads outside the folder"},
        {"a name among the reports",
         [](MirrorCliTest& t) {
             ASSERT_TRUE(t.set.editConfig("NAME=" + kEuro, "NAME=LOG4\\1_23\\45xxx\\6xx\\rep.txt"));
         },
         "refused the name 'LOG4\\1_23\\45xxx\\6xx\\rep.txt': the reports' folder"},
        {"a file cut short",
         [](MirrorCliTest& t) {
             QFile file(t.set.root() + "/" + kEuro);
             ASSERT_TRUE(file.resize(file.size() / 2));
         },
         "'" + kEuro + "' does not match its SHA256"},
    };
    for (const MirrorFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        SetUp();
        fault.breakIt(*this);
        const CliResult result = mirrorRun();
        EXPECT_EQ(result.exitCode, 1) << result.out;
        EXPECT_TRUE(result.err.contains(fault.said)) << result.err;
        EXPECT_TRUE(QDir(outside).isEmpty()) << QDir(outside).entryList().join(' ');
        EXPECT_FALSE(QFile::exists(mirror + "/" + kEuro) &&
                     bytesOf(mirror + "/" + kEuro) != set.file(kEuro));
        server.stop();
    }
}

// A newer set whose one file arrives cut short leaves the previous set whole; a copy in the
// mirror that was cut short is fetched again.
TEST_F(MirrorCliTest, AFileCutShortNeverReplacesAWholeSet) {
    ASSERT_EQ(mirrorRun().exitCode, 0);
    const QByteArray oldConfig = set.file("verimant_version_3.ini");
    const QByteArray oldEuro = set.file(kEuro);
    const QByteArray newFirmware = set.file("fw/" + kFirmware) + ":00000001FF\r\n";
    ASSERT_TRUE(set.replaceFile("fw/" + kFirmware, newFirmware));
    ASSERT_TRUE(set.replaceFile(kEuro, QByteArray(4096, '\x11')));
    QFile cut(set.root() + "/" + kEuro);
    ASSERT_TRUE(cut.resize(100));

    CliResult result = mirrorRun();
    EXPECT_EQ(result.exitCode, 1) << result.out;
    EXPECT_TRUE(result.out.contains("1 failed; the folder keeps its previous set unchanged"))
        << result.out;
    EXPECT_EQ(bytesOf(mirror + "/verimant_version_3.ini"), oldConfig);
    EXPECT_EQ(bytesOf(mirror + "/" + kEuro), oldEuro);
    EXPECT_NE(bytesOf(mirror + "/fw/" + kFirmware), newFirmware);

    ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cut.write(QByteArray(4096, '\x11'));
    cut.close();
    QFile local(mirror + "/verimant_sn_base.bin");
    ASSERT_TRUE(local.resize(local.size() - 1));
    result = mirrorRun();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains("4 fetched, 1 kept, 0 removed")) << result.out;
    expectWholeSet();
}

// A set may list 64 files: one more and nothing is fetched, the folder keeps what it had.
TEST_F(MirrorCliTest, ASetListingTooManyFilesIsRefusedWhole) {
    const auto extraFiles = [this](int count) {
        QString sections;
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("extra_%1.bin").arg(i);
            QFile file(set.root() + "/" + name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(name.toLatin1()) > 0);
            sections += QStringLiteral("[FILE:X%1]\nNAME=%2\n").arg(i).arg(name);
        }
        return sections;
    };
    // The demo set lists four: the base and three FILE: names.
    const std::pair<int, bool> cases[] = {{61, false}, {60, true}};
    QString listed;
    for (const auto& [extra, mirrored] : cases) {
        SCOPED_TRACE(extra);
        const QString next = extraFiles(extra);
        ASSERT_TRUE(set.editConfig(listed + "[SERIAL_NUMBER]", next + "[SERIAL_NUMBER]"));
        listed = next;
        const CliResult result = mirrorRun();
        EXPECT_EQ(result.exitCode, mirrored ? 0 : 1) << result.err;
        EXPECT_EQ(result.err.contains("lists 65 files, more than the 64 a set may list"), !mirrored)
            << result.err;
        EXPECT_EQ(QFile::exists(mirror + "/extra_1.bin"), mirrored);
        EXPECT_EQ(QFile::exists(mirror + "/verimant_version_3.ini"), mirrored);
    }
}

// The Local source checks the signature as the server's, so it must travel with its
// configuration; once the folder's set is signed, an unsigned one never replaces it.
TEST_F(MirrorCliTest, TheSignatureTravelsWithItsConfiguration) {
    ASSERT_TRUE(set.signConfig(demoSigningKey()));
    const QString signature = QStringLiteral("verimant_version_3.ini.sig");

    CliResult result = mirrorRun();
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(bytesOf(mirror + "/" + signature), set.file(signature));
    result = runCli({"config", "--source", mirror, "--require-signature"});
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;

    const QByteArray signedBytes = set.file(signature);
    ASSERT_TRUE(QFile::remove(set.root() + "/" + signature));
    result = mirrorRun();
    EXPECT_EQ(result.exitCode, 1) << result.out;
    EXPECT_EQ(bytesOf(mirror + "/" + signature), signedBytes);
    result = runCli({"config", "--source", mirror, "--require-signature"});
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
}

}  // namespace
}  // namespace verimant::test
