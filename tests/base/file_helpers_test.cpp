#include "base/file_helpers.h"

#include "platform/monotonic_clock.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
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

    static void put(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray contents(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    QString dir_;
    test::ScriptedDialogs dialogs_;
};

TEST_F(FileHelpers, ReadsEveryByteAndEmptyFiles) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    put(path("all.bin"), all);
    const WholeFile whole = readWholeFile(path("all.bin"), true);
    EXPECT_TRUE(whole.ok);
    ASSERT_TRUE(whole.data.has_value());
    EXPECT_EQ(*whole.data, all);

    put(path("empty.bin"), {});
    const WholeFile empty = readWholeFile(path("empty.bin"), true);
    EXPECT_TRUE(empty.ok);
    ASSERT_TRUE(empty.data.has_value());
    EXPECT_TRUE(empty.data->isEmpty());
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
}

TEST_F(FileHelpers, MissingFileIsSilentUnlessInteractive) {
    const QString missing = path("нет.bin");
    const WholeFile quiet = readWholeFile(missing, false);
    EXPECT_FALSE(quiet.ok);
    EXPECT_FALSE(quiet.data.has_value());
    EXPECT_TRUE(dialogs_.boxes.isEmpty());

    EXPECT_FALSE(readWholeFile(missing, true).ok);
    EXPECT_EQ(dialogs_.textsOf("error"), QStringList({"Файл " + missing + " не существует"}));
}

TEST_F(FileHelpers, EmptyPathAsksForAFileOnlyWhenInteractive) {
    EXPECT_FALSE(readWholeFile("", false).ok);

    // Cancelled choice: success without data.
    const WholeFile cancelled = readWholeFile("", true);
    EXPECT_TRUE(cancelled.ok);
    EXPECT_FALSE(cancelled.data.has_value());

    put(path("chosen.txt"), "chosen");
    dialogs_.fileAnswers.enqueue(path("chosen.txt"));
    const WholeFile chosen = readWholeFile("", true);
    EXPECT_TRUE(chosen.ok);
    EXPECT_EQ(chosen.data.value_or("<none>"), "chosen");
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
}

TEST_F(FileHelpers, FilesOfSixtyFourMebibytesAreRefused) {
    const QString huge = path("huge.bin");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(kMaxWholeFileSize));  // sparse: no 64 MiB written
    }
    EXPECT_FALSE(readWholeFile(huge, false).ok);
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
    const WholeFile refused = readWholeFile(huge, true);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.data.has_value());
    EXPECT_EQ(dialogs_.textsOf("error"),
              QStringList({"Странный размер файла : [67108864] Нету столько памяти в ТВК-500"}));
    EXPECT_EQ(fileSize(huge), kMaxWholeFileSize);

    // One byte less is read whole, up to its last byte.
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(kMaxWholeFileSize - 1));
        ASSERT_TRUE(f.seek(kMaxWholeFileSize - 2));
        ASSERT_EQ(f.write("Z"), 1);
    }
    const WholeFile read = readWholeFile(huge, true);
    EXPECT_TRUE(read.ok);
    ASSERT_TRUE(read.data.has_value());
    ASSERT_EQ(read.data->size(), kMaxWholeFileSize - 1);
    EXPECT_EQ(read.data->back(), 'Z');
    EXPECT_EQ(dialogs_.boxes.size(), 1);
}

TEST_F(FileHelpers, ThingsThatAreNotFilesAreNotOpened) {
    // Root can read any file, so use entries that no one can read as a whole file.
    const QString folder = path("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString fifo = path("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    EXPECT_FALSE(readWholeFile(folder, false).ok);
    EXPECT_FALSE(readWholeFile(fifo, false).ok);  // must not block waiting for a writer
    EXPECT_TRUE(dialogs_.boxes.isEmpty());

    EXPECT_FALSE(readWholeFile(folder, true).ok);
    EXPECT_FALSE(readWholeFile(fifo, true).ok);
    EXPECT_EQ(dialogs_.textsOf("error"),
              QStringList({"Ошибка открытия файла " + folder + "\nВозможно нет доступа",
                           "Ошибка открытия файла " + fifo + "\nВозможно нет доступа"}));
    EXPECT_EQ(fileSize(folder), 0);
    EXPECT_EQ(fileSize(fifo), 0);
    EXPECT_EQ(fileSize(path("missing")), 0);
}

TEST_F(FileHelpers, OverwriteQuestionDecidesWhetherAFileIsReplaced) {
    const QString target = path("log.txt");
    put(target, "old");

    // No: success, untouched.
    EXPECT_TRUE(writeWholeFile(target, "new", false, true));
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(dialogs_.textsOf("question"),
              QStringList({"Файл " + target + " уже существует - перезаписать?"}));

    // Yes: replaced, not appended to.
    dialogs_.yesNoAnswers.enqueue(true);
    EXPECT_TRUE(writeWholeFile(target, "newer", false, true));
    EXPECT_EQ(contents(target), "newer");

    // Silent overwrite and non-interactive calls do not ask.
    EXPECT_TRUE(writeWholeFile(target, "1", true, true));
    EXPECT_EQ(contents(target), "1");
    EXPECT_TRUE(writeWholeFile(target, "2", false, false));
    EXPECT_EQ(contents(target), "2");
    EXPECT_EQ(dialogs_.textsOf("question").size(), 2);
    EXPECT_TRUE(dialogs_.textsOf("error").isEmpty());
}

TEST_F(FileHelpers, WritesNewFilesAndEmptyContents) {
    const QString fresh = path("fresh.bin");
    EXPECT_TRUE(writeWholeFile(fresh, QByteArray("\x00\xFF\n", 3), false, true));
    EXPECT_EQ(contents(fresh), QByteArray("\x00\xFF\n", 3));

    // An empty report still replaces the old one.
    EXPECT_TRUE(writeWholeFile(fresh, QByteArray(), true, false));
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_EQ(contents(fresh), QByteArray());
    EXPECT_TRUE(dialogs_.boxes.isEmpty());
}

TEST_F(FileHelpers, EmptyPathChoosesWhereToWriteOnlyWhenInteractive) {
    EXPECT_FALSE(writeWholeFile("", "x", true, false));
    EXPECT_TRUE(writeWholeFile("", "x", true, true));  // cancelled: nothing written
    EXPECT_TRUE(QDir(dir_).isEmpty());

    dialogs_.fileAnswers.enqueue(path("saved.txt"));
    EXPECT_TRUE(writeWholeFile("", "saved", true, true));
    EXPECT_EQ(contents(path("saved.txt")), "saved");
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

    EXPECT_EQ(dialogs_.textsOf("error"),
              QStringList({"Файл " + nowhere + " не создается", "Ошибка : нет доступа к файлу"}));
}

TEST_F(FileHelpers, ShortWriteIsAFailure) {
    // A file-size limit makes the write fail part-way, for root as for anyone.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString target = path("big.bin");
    const bool written = writeWholeFile(target, QByteArray(64 * 1024, 'x'), true, true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(dialogs_.textsOf("error"),
              QStringList({"Ошибка записи " + target + "\nВозможно нет доступа"}));
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
    EXPECT_FALSE(QFile::exists(path("a.txt")));
    EXPECT_FALSE(QFile::exists(path("link.txt")));
    EXPECT_TRUE(QFile::exists(path("b.bin")));
    EXPECT_EQ(contents(outside), "keep") << "a link's target lies outside the folder";

    emptyFolder(dir_, "*.*");  // every name, dotless ones too
    EXPECT_EQ(QDir(dir_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"sub"}));
    EXPECT_TRUE(QFile::exists(path("sub/keep.txt")));

    emptyFolder(path("does-not-exist"));
    emptyFolder(QString());
}

TEST_F(FileHelpers, TemporaryFolderIsTheSystemsOrNothing) {
    const QString tmp = test::testRootDir() + "/tmp";
    EXPECT_EQ(temporaryFolder(), tmp);
    setenv("TMPDIR", qPrintable(tmp + "/missing"), 1);
    EXPECT_EQ(temporaryFolder(), QString());
    setenv("TMPDIR", qPrintable(tmp), 1);
}

TEST(FileHelperWait, TimersRunInsideAndZeroReturnsAtOnce) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    std::int64_t start = tickCountMs();
    waitMs(0);
    waitMs(-1);
    EXPECT_LT(tickCountMs() - start, 10);
    EXPECT_FALSE(fired);

    start = tickCountMs();
    waitMs(100);
    EXPECT_GE(tickCountMs() - start, 100);
    EXPECT_TRUE(fired);
}

TEST(SplitText, CountsEveryPieceAndKeepsNonEmptyOnes) {
    QStringList pieces{"kept"};
    EXPECT_EQ(splitText("a,,b", ',', pieces), 3);
    EXPECT_EQ(pieces, QStringList({"kept", "a", "b"}));

    pieces.clear();
    EXPECT_EQ(splitText("1:2\r\n3:4", ':', pieces), 2);
    EXPECT_EQ(pieces, QStringList({"1", "2"}));
    pieces.clear();
    EXPECT_EQ(splitText("x;y\nz;w", ';', pieces), 2);
    EXPECT_EQ(pieces, QStringList({"x", "y"}));
    pieces.clear();
    EXPECT_EQ(splitText(QString("p,q") + QChar(0) + ",r", ',', pieces), 2);
    EXPECT_EQ(pieces, QStringList({"p", "q"}));

    pieces.clear();
    EXPECT_EQ(splitText(",x,", ',', pieces), 3);
    EXPECT_EQ(pieces, QStringList({"x"}));
    EXPECT_EQ(splitText("", ',', pieces), 1);
    EXPECT_EQ(splitText("\r\nabc", ',', pieces), 1);
    EXPECT_EQ(pieces, QStringList({"x"}));
}

TEST(HexDigitValue, LatinAndCyrillicLookAlikes) {
    const QString digits = "0123456789";
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(hexDigitValue(digits[i]), i);
    }
    const QString upper = "ABCDEF";
    const QString lower = "abcdef";
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(hexDigitValue(upper[i]), 10 + i);
        EXPECT_EQ(hexDigitValue(lower[i]), 10 + i);
    }
    EXPECT_EQ(hexDigitValue(QChar(u'А')), 10);
    EXPECT_EQ(hexDigitValue(QChar(u'а')), 10);
    EXPECT_EQ(hexDigitValue(QChar(u'В')), 11);
    EXPECT_EQ(hexDigitValue(QChar(u'С')), 12);
    EXPECT_EQ(hexDigitValue(QChar(u'с')), 12);
    EXPECT_EQ(hexDigitValue(QChar(u'Е')), 14);
    EXPECT_EQ(hexDigitValue(QChar(u'е')), 14);
    for (const char16_t other : {u'в', u'Б', u'Д', u'Ф', u'д', u'G', u'g', u'x', u' ', u'/', u':',
                                 u'@', u'`', u'\0', u'Ё'}) {
        EXPECT_EQ(hexDigitValue(QChar(other)), 255) << int(other);
    }
}

}  // namespace
}  // namespace verimant
