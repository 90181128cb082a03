#include "base/file_helpers.h"

#include "platform/monotonic_clock.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <cstdlib>

namespace verimant {
namespace {

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::testRootDir() + "/files";
        QDir(dir_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(dir_));
    }

    QString path(const QString& name) const { return dir_ + "/" + name; }

    // `bytes` after `offset` zero bytes, which the file system keeps sparse.
    static void put(const QString& file, const QByteArray& bytes, qint64 offset = 0) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(f.resize(offset) && f.seek(offset));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray contents(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    void expectRead(const QString& file, const QByteArray& expected) {
        const WholeFile whole = readWholeFile(file, true);
        EXPECT_TRUE(whole.ok);
        EXPECT_EQ(whole.data.value_or("<none>"), expected);
        EXPECT_TRUE(dialogs_.boxes.isEmpty());
    }

    QString dir_;
    test::ScriptedDialogs dialogs_;
};

TEST_F(FileHelpers, ReadsEveryByteOfEmptyAndOfTheLargestAllowedFiles) {
    put(path("empty.bin"), {});
    expectRead(path("empty.bin"), {});

    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const QString large = path("large.bin");
    put(large, all, kMaxWholeFileSize - 1 - all.size());
    const WholeFile read = readWholeFile(large, true);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.data.value_or("").size(), kMaxWholeFileSize - 1);
    EXPECT_EQ(read.data.value_or("").right(all.size()), all);
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
}

// Every refused read: silent without the user, one error box with its own text otherwise.
TEST_F(FileHelpers, RefusedReadsAreSilentUnlessInteractive) {
    ASSERT_TRUE(QDir().mkpath(path("folder")));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    put(path("huge.bin"), {}, kMaxWholeFileSize);
    const struct {
        QString file;
        QString error;
    } rows[] = {
        {path("нет.bin"), "Файл " + path("нет.bin") + " не существует"},
        // Root can read any file, so use entries that no one can read as a whole file; the
        // pipe must not block waiting for a writer.
        {path("folder"), "Ошибка открытия файла " + path("folder") + "\nВозможно нет доступа"},
        {path("fifo"), "Ошибка открытия файла " + path("fifo") + "\nВозможно нет доступа"},
        {path("huge.bin"), "Странный размер файла : [67108864] Нету столько памяти в ТВК-500"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        dialogs_.boxes.clear();
        EXPECT_FALSE(readWholeFile(row.file, false).ok);
        EXPECT_TRUE(dialogs_.boxes.isEmpty());
        const WholeFile refused = readWholeFile(row.file, true);
        EXPECT_FALSE(refused.ok);
        EXPECT_FALSE(refused.data.has_value());
        EXPECT_EQ(dialogs_.textsOf("error"), QStringList{row.error});
    }
    EXPECT_EQ(fileSize(path("huge.bin")), kMaxWholeFileSize);
    for (const char* notAFile : {"folder", "fifo", "missing"}) {
        EXPECT_EQ(fileSize(path(notAFile)), 0) << notAFile;
    }
}

TEST_F(FileHelpers, EmptyPathAsksForAFileOnlyWhenInteractive) {
    EXPECT_FALSE(readWholeFile("", false).ok);
    EXPECT_FALSE(writeWholeFile("", "x", true, false));

    // Cancelled choices: success without data, nothing written.
    const WholeFile cancelled = readWholeFile("", true);
    EXPECT_TRUE(cancelled.ok);
    EXPECT_FALSE(cancelled.data.has_value());
    EXPECT_TRUE(writeWholeFile("", "x", true, true));
    EXPECT_TRUE(QDir(dir_).isEmpty());

    dialogs_.fileAnswers.enqueue(path("chosen.txt"));
    EXPECT_TRUE(writeWholeFile("", "chosen", true, true));
    dialogs_.fileAnswers.enqueue(path("chosen.txt"));
    expectRead("", "chosen");
}

TEST_F(FileHelpers, OverwriteQuestionDecidesWhetherAFileIsReplaced) {
    const QString target = path("log.txt");
    EXPECT_TRUE(writeWholeFile(target, QByteArray("\x00\xFF\n", 3), false, true));
    EXPECT_EQ(contents(target), QByteArray("\x00\xFF\n", 3));

    // No: success, untouched.
    EXPECT_TRUE(writeWholeFile(target, "new", false, true));
    EXPECT_EQ(contents(target), QByteArray("\x00\xFF\n", 3));
    EXPECT_EQ(dialogs_.textsOf("question"),
              QStringList({"Файл " + target + " уже существует - перезаписать?"}));

    // Yes: replaced, not appended to.
    dialogs_.yesNoAnswers.enqueue(true);
    EXPECT_TRUE(writeWholeFile(target, "newer", false, true));
    EXPECT_EQ(contents(target), "newer");

    // Silent overwrite and non-interactive calls do not ask; an empty report still replaces.
    EXPECT_TRUE(writeWholeFile(target, "1", true, true));
    EXPECT_EQ(contents(target), "1");
    EXPECT_TRUE(writeWholeFile(target, QByteArray(), false, false));
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(contents(target), QByteArray());
    EXPECT_EQ(dialogs_.textsOf("question").size(), 2);
    EXPECT_TRUE(dialogs_.textsOf("error").isEmpty());
}

TEST_F(FileHelpers, WriteFailuresAreReportedWithTheirOwnTexts) {
    const QString nowhere = path("missing-folder/file.bin");
    EXPECT_FALSE(writeWholeFile(nowhere, "x", false, false));
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
    EXPECT_FALSE(writeWholeFile(nowhere, "x", false, true));

    // A folder in the way cannot be deleted like a file; it is left alone.
    const QString folder = path("busy");
    ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
    EXPECT_FALSE(writeWholeFile(folder, "x", true, true));
    EXPECT_TRUE(QDir(folder + "/inner").exists());

    // A file-size limit makes the write fail part-way, for root as for anyone.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString big = path("big.bin");
    const bool written = writeWholeFile(big, QByteArray(64 * 1024, 'x'), true, true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);

    EXPECT_EQ(dialogs_.textsOf("error"),
              QStringList({"Файл " + nowhere + " не создается", "Ошибка : нет доступа к файлу",
                           "Ошибка записи " + big + "\nВозможно нет доступа"}));
}

TEST_F(FileHelpers, EmptyFolderDeletesMatchingFilesOnly) {
    for (const char* name : {"a.txt", "b.bin", ".hidden", "noext"}) {
        put(path(name), "x");
    }
    ASSERT_TRUE(QDir().mkpath(path("sub")));
    put(path("sub/keep.txt"), "x");
    const QString outside = test::testRootDir() + "/outside.txt";
    put(outside, "keep");
    ASSERT_TRUE(QFile::link(outside, path("link.txt")));

    emptyFolder(dir_, "*.txt");
    EXPECT_EQ(QDir(dir_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({".hidden", "b.bin", "noext", "sub"}));
    EXPECT_EQ(contents(outside), "keep") << "a link's target lies outside the folder";

    emptyFolder(dir_, "*.*");  // every name, dotless ones too
    EXPECT_EQ(QDir(dir_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"sub"}));
    EXPECT_TRUE(QFile::exists(path("sub/keep.txt")));

    emptyFolder(path("does-not-exist"));
    // An empty folder name must not mean the working folder. Checked in a scratch folder, so
    // that a regression cannot empty the folder the suite runs from.
    const QString scratch = test::testRootDir() + "/cwd";
    ASSERT_TRUE(QDir().mkpath(scratch));
    put(scratch + "/survivor.txt", "x");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch));
    emptyFolder(QString());
    ASSERT_TRUE(QDir::setCurrent(previous));
    EXPECT_TRUE(QFile::exists(scratch + "/survivor.txt"));
}

// Thin over the platform layer, which has its own tests; here only that they reach it.
TEST(FileHelperPlatform, WaitRunsTimersAndTemporaryFolderFollowsTmpdir) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    const std::int64_t start = tickCountMs();
    waitMs(100);
    EXPECT_GE(tickCountMs() - start, 100);
    EXPECT_TRUE(fired);

    const QString tmp = test::testRootDir() + "/tmp";
    EXPECT_EQ(temporaryFolder(), tmp);
    setenv("TMPDIR", qPrintable(tmp + "/missing"), 1);
    EXPECT_EQ(temporaryFolder(), QString());
    setenv("TMPDIR", qPrintable(tmp), 1);
}

TEST(SplitText, CountsEveryPieceKeepsNonEmptyOnesAndStopsAtALineEnd) {
    const struct {
        QString text;
        char separator;
        int count;
        QStringList pieces;
    } rows[] = {
        {"a,,b", ',', 3, {"a", "b"}},
        {",x,", ',', 3, {"x"}},
        {"", ',', 1, {}},
        {"1:2\r\n3:4", ':', 2, {"1", "2"}},
        {"x;y\nz;w", ';', 2, {"x", "y"}},
        {QString("p,q") + QChar(0) + ",r", ',', 2, {"p", "q"}},
        {"\r\nabc", ',', 1, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        QStringList pieces{"kept"};
        EXPECT_EQ(splitText(row.text, QChar(row.separator), pieces), row.count);
        EXPECT_EQ(pieces, QStringList{"kept"} + row.pieces);
    }
}

TEST(HexDigitValue, LatinAndCyrillicLookAlikes) {
    const QString digits = "0123456789ABCDEF";
    for (int i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(hexDigitValue(digits[i]), i) << i;
        EXPECT_EQ(hexDigitValue(digits[i].toLower()), i) << i;
    }
    const QString cyrillic = "АаВСсЕе";
    const int values[] = {10, 10, 11, 12, 12, 14, 14};
    for (int i = 0; i < cyrillic.size(); ++i) {
        EXPECT_EQ(hexDigitValue(cyrillic[i]), values[i]) << i;
    }
    for (const char16_t other : {u'в', u'Б', u'Д', u'Ф', u'д', u'Ё', u'G', u'g', u'x', u' ', u'/',
                                 u':', u'@', u'`', u'\0'}) {
        EXPECT_EQ(hexDigitValue(QChar(other)), 255) << int(other);
    }
}

}  // namespace
}  // namespace verimant
