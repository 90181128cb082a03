// A configuration from a hostile or broken server: a language-set count or key number near the
// largest integer must be read at once. Reading every number up to the count would freeze the
// window for hours on one such line; a hang here shows as the suite's time-out.
#include "base/activity_log.h"
#include "tests/support/test_environment.h"
#include "update/update_config.h"

#include <gtest/gtest.h>

#include <QFile>

namespace verimant {
namespace {

UpdateConfig configWithLanguages(const QByteArray& lines) {
    const QString path = test::testRootDir() + "/languages.ini";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[LANGUAGES]\r\n" + lines);
    file.close();
    UpdateConfig config;
    config.openConfig(path);
    return config;
}

QStringList setNames(const UpdateConfig& config) {
    QStringList names;
    for (const auto& [name, packets] : config.languageSets()) {
        names << name + ":" + packets.join(',');
    }
    return names;
}

TEST(HostileConfig, LanguageSetsNumberedUpToTheLargestIntegerAreFoundAtOnce) {
    struct Case {
        const char* what;
        QByteArray lines;
        QStringList sets;
    };
    const Case cases[] = {
        {"count and key at the largest integer",
         "LANG_SET_NUM=2147483647\r\nLANG_SET_2147483647=FAR:P\r\nLANG_SET_1=RU:A,B\r\n",
         {"RU:A,B", "FAR:P"}},
        {"count at the largest integer, keys few",
         "LANG_SET_NUM=2147483647\r\nLANG_SET_2=X:Y\r\n",
         {"X:Y"}},
        {"a key above the count is not read",
         "LANG_SET_NUM=2\r\nLANG_SET_3=Z:Z\r\nLANG_SET_2=X:Y\r\n",
         {"X:Y"}},
        {"numbers in key order, the first of a repeated key",
         "LANG_SET_NUM=9\r\nLANG_SET_9=C:c\r\nlang_set_2=B:b\r\nLANG_SET_2=B:other\r\n",
         {"B:b", "C:c"}},
        {"a number with a leading zero or sign is another key",
         "LANG_SET_NUM=5\r\nLANG_SET_01=Z:z\r\nLANG_SET_+2=Z:z\r\nLANG_SET_5=E:e\r\n",
         {"E:e"}},
        {"no count, no sets", "LANG_SET_1=A:a\r\n", {}},
        {"a negative count", "LANG_SET_NUM=-2147483648\r\nLANG_SET_1=A:a\r\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UpdateConfig config = configWithLanguages(c.lines);
        EXPECT_EQ(setNames(config), c.sets);
    }
    ActivityLog log;
    const UpdateConfig far = configWithLanguages(cases[0].lines);
    EXPECT_EQ(far.packetsForLanguageSet("FAR", log).packets, QStringList({"P"}));
}

}  // namespace
}  // namespace verimant
