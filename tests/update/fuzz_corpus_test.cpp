#include "tests/fuzz/base_record_fuzz_check.h"
#include "tests/fuzz/local_name_fuzz_check.h"
#include "tests/fuzz/profile_fuzz_check.h"
#include "tests/fuzz/version_text_fuzz_check.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>

namespace verimant {
namespace {

// The fuzzers' corpora, replayed in every build so that an input once found troublesome stays
// covered without clang.
void replayCorpus(const QString& name, const std::function<std::string(const QByteArray&)>& check) {
    const QDir corpus(QStringLiteral(VERIMANT_SOURCE_DIR "/tests/fuzz/corpus/") + name);
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10) << name.toStdString();
    for (const QString& file : files) {
        QFile input(corpus.filePath(file));
        ASSERT_TRUE(input.open(QIODevice::ReadOnly)) << file.toStdString();
        EXPECT_EQ(check(input.readAll()), "") << file.toStdString();
    }
}

TEST(UpdateFuzzCorpus, EveryProfileInputKeepsTheInvariants) {
    const QString scratch = test::testRootDir() + "/corpus.ini";
    replayCorpus("profile_reader",
                 [&](const QByteArray& bytes) { return fuzz::checkProfileInput(bytes, scratch); });
}

TEST(UpdateFuzzCorpus, EveryBaseInputKeepsTheInvariants) {
    replayCorpus("base_record",
                 [](const QByteArray& bytes) { return fuzz::checkBaseRecordInput(bytes); });
}

TEST(UpdateFuzzCorpus, EveryServerNameStaysOneFileInsideTheFolder) {
    replayCorpus("local_name",
                 [](const QByteArray& bytes) { return fuzz::checkLocalNameInput(bytes); });
}

TEST(UpdateFuzzCorpus, EveryVersionTextAgreesWithThePlainReadingAndReadsBack) {
    replayCorpus("version_text",
                 [](const QByteArray& bytes) { return fuzz::checkVersionTextInput(bytes); });
}

}  // namespace
}  // namespace verimant
