#include <gtest/gtest.h>

#include "tests/fuzz/record_file_fuzz_check.h"

#include <QDir>
#include <QFile>

namespace verimant {
namespace {

// The fuzzer's corpus, replayed in every build so that a file once found troublesome stays
// covered without clang.
TEST(RecordFileCorpus, EveryCorpusFileKeepsTheInvariants) {
    const QDir corpus(QStringLiteral(VERIMANT_SOURCE_DIR "/tests/fuzz/corpus/record_file"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 20);
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(fuzz::checkRecordFileInput(file.readAll()), "") << name.toStdString();
    }
}

}  // namespace
}  // namespace verimant
