#include <gtest/gtest.h>

#include "tests/fuzz/version_text_fuzz_check.h"

#include <QDir>
#include <QFile>

namespace verimant {
namespace {

// The version-text fuzzer's corpus, replayed in every build so that a text once found
// troublesome stays covered without clang.
TEST(VersionTextCorpus, EveryCorpusTextAgreesWithThePlainReading) {
    const QDir corpus(QStringLiteral(VERIMANT_SOURCE_DIR "/tests/fuzz/corpus/version_text"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 9);
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(fuzz::checkVersionTextInput(file.readAll()), "") << name.toStdString();
    }
}

}  // namespace
}  // namespace verimant
