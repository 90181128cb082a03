// verimant-cli with a signed configuration: the maker's keygen, sign-config and verify-config,
// and upgrades from a folder set whose signature or hashes fail, which must stop before the
// instrument is written.

#include "tests/cli/offline_set_fixture.h"
#include "update/config_signature.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace verimant::test {
namespace {

const QString kConfig = QStringLiteral("verimant_version_3.ini");
const QString kFirmware = QStringLiteral("verimant_kmt2_3_2.hex");
const QString kBase = QStringLiteral("verimant_sn_base.bin");

QByteArray demoSecretKey() {
    QFile file(QStringLiteral(VERIMANT_SOURCE_DIR "/examples/demo-signing-key.DEMO-ONLY.key"));
    return file.open(QIODevice::ReadOnly) ? QByteArray::fromBase64(file.readAll().trimmed())
                                          : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

class SignedConfigCliTest : public OfflineSetTest {
protected:
    SignedConfigCliTest() : OfflineSetTest(QStringLiteral("signed-set")) {}

    void SetUp() override {
        OfflineSetTest::SetUp();
        ASSERT_TRUE(set.signConfig(demoSecretKey()));
        QFile::remove(policyPath());
    }

    static QString policyPath() { return qEnvironmentVariable("VERIMANT_POLICY_FILE"); }
};

TEST_F(SignedConfigCliTest, ASignedSetUpgradesAndNamesItsKey) {
    sim::PtyInstrument& device = plugIn();
    const CliResult result = upgrade({"--require-signature"});
    ASSERT_EQ(result.exitCode, 0) << result.err << "\n" << result.out.right(3000);
    const QString keyId = keyShortId(demoSecretKey().right(32));
    EXPECT_TRUE(result.out.contains("CONFIG SIGNED [verimant_version_3.ini] KEY = " + keyId))
        << result.out.left(3000);
    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    device.withInstrument([&](sim::Instrument& d) {
        EXPECT_TRUE(d.externalFlash().read(0, int(data.size())) == data);
    });
}

// Every way a signed set can fail ends the run before a byte reaches the instrument.
TEST_F(SignedConfigCliTest, ASetThatIsNotWhollyVouchedForIsRefusedBeforeAnythingIsWritten) {
    const QString signature = set.root() + "/" + kConfig + ".sig";
    struct Case {
        const char* what;
        std::function<void()> spoil;
        QStringList extra;
        const char* said;
    };
    const Case cases[] = {
        {"one byte changed after signing",
         [&] {
             QByteArray config = set.file(kConfig);
             config[config.indexOf("VERSION_APP=") + 12] = '0';
             writeFile(set.root() + "/" + kConfig, config);
         },
         {},
         "not valid under any trusted key"},
        {"signed by an untrusted key",
         [&] { set.signConfig(generateSigningKeys().secretKey); },
         {},
         "not valid under any trusted key"},
        {"malformed signature",
         [&] { writeFile(signature, "c2lnbmF0dXJl\n"); },
         {},
         "the signature is malformed"},
        {"missing under --require-signature",
         [&] { QFile::remove(signature); },
         {"--require-signature"},
         "unsigned, and signatures are required"},
        {"missing under the machine's policy",
         [&] {
             QFile::remove(signature);
             writeFile(policyPath(), "RequireSignedConfiguration=true\n");
         },
         {},
         "unsigned, and signatures are required"},
        {"firmware not matching its SHA256",
         [&] {
             QByteArray firmware = set.file(kFirmware);
             firmware[firmware.size() / 2] = firmware[firmware.size() / 2] == 'A' ? 'B' : 'A';
             writeFile(set.root() + "/" + kFirmware, firmware);
         },
         {},
         "не совпадает"},
        {"base not matching its BASE_SHA256",
         [&] { writeFile(set.root() + "/" + kBase, set.file(kBase) + "more"); },
         {},
         "не совпадает"},
        {"firmware without SHA256",
         [&] {
             QString line = QString::fromLatin1(set.file(kConfig));
             const qsizetype at = line.indexOf("NAME=" + kFirmware);
             const qsizetype hash = line.indexOf("SHA256=", at);
             set.editConfig(line.mid(hash, 7 + 64 + 2), QString());
             set.signConfig(demoSecretKey());
         },
         {},
         "задан неверно"},
        {"base without BASE_SHA256",
         [&] {
             const QString line = QString::fromLatin1(set.file(kConfig));
             const qsizetype at = line.indexOf("BASE_SHA256=");
             set.editConfig(line.mid(at, 12 + 64 + 2), QString());
             set.signConfig(demoSecretKey());
         },
         {},
         "BASE_SHA256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.spoil();
        sim::PtyInstrument& device = plugIn();

        const CliResult result = upgrade(c.extra);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE((result.out + result.err).contains(QString::fromUtf8(c.said)))
            << result.err << "\n"
            << result.out.right(3000);
        device.withInstrument([](sim::Instrument& d) { EXPECT_TRUE(d.flashOperations().empty()); });
        instrument.reset();
        QFile::remove(policyPath());
    }
}

// Commands that only read the set trust it no further than the upgrade does.
TEST_F(SignedConfigCliTest, LookupsReadOnlyWhatTheSignedConfigurationVouchesFor) {
    CliResult result = runCli({"lookup", "12345678", "--source", set.root()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(writeFile(set.root() + "/" + kBase, set.file(kBase) + "more"));
    result = runCli({"lookup", "12345678", "--source", set.root()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("is not the one the configuration names")) << result.err;
    ASSERT_TRUE(writeFile(set.root() + "/" + kConfig + ".sig", "c2lnbmF0dXJl\n"));
    result = runCli({"config", "--source", set.root()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("signature was refused")) << result.err;
}

TEST_F(SignedConfigCliTest, KeygenSignAndVerifyWorkTogetherAndNeverReplaceAKey) {
    const QString name = testRootDir() + "/maker";
    QFile::remove(name + ".key");
    QFile::remove(name + ".pub");
    ASSERT_EQ(runCli({"keygen", name}).exitCode, 0);
    const auto readFile = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(QFile(name + ".key").permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadUser |
                                                      QFileDevice::WriteUser);
    const QByteArray secret = readFile(name + ".key");
    EXPECT_EQ(runCli({"keygen", name}).exitCode, 1);
    EXPECT_EQ(readFile(name + ".key"), secret);

    const QString config = set.root() + "/" + kConfig;
    ASSERT_EQ(runCli({"sign-config", "--key", name + ".key", config}).exitCode, 0);
    const QByteArray publicKey = readFile(name + ".pub").trimmed();
    const QString keyId = keyShortId(QByteArray::fromBase64(publicKey));
    // Trusted only once the environment names the key.
    EXPECT_EQ(runCli({"verify-config", config}).exitCode, 1);
    const QByteArray demoKeys = qgetenv("VERIMANT_TRUSTED_KEYS");
    qputenv("VERIMANT_TRUSTED_KEYS", demoKeys + "," + publicKey);
    const CliResult verified = runCli({"verify-config", config});
    qputenv("VERIMANT_TRUSTED_KEYS", demoKeys);
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_TRUE(verified.out.contains("signed by trusted key " + keyId)) << verified.out;
}

struct KeyFileCase {
    const char* what;
    std::function<void(const QString& key)> prepare;
    int exitCode;
    std::function<void(const QString& key)> check;
};

// Under umask 000 the secret key is still never readable by anyone else, not even for an instant
// (it is created 0600), and keygen never writes over or through what already has its name.
TEST_F(SignedConfigCliTest, TheSecretKeyIsBornPrivateAndNeverReplaced) {
    const QString name = testRootDir() + "/umask-maker";
    const QString outside = testRootDir() + "/outside-key";
    const auto mode = [](const QString& path) {
        struct stat status {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777
                                                                          : 0u;
    };
    const KeyFileCase cases[] = {
        {"a new key pair", [](const QString&) {}, 0,
         [&](const QString& key) {
             EXPECT_EQ(mode(key), 0600u);
             EXPECT_EQ(mode(name + ".pub"), 0644u);
         }},
        {"a key that exists",
         [](const QString& key) { ASSERT_TRUE(writeFile(key, "the maker's only key\n")); }, 1,
         [](const QString& key) {
             QFile file(key);
             ASSERT_TRUE(file.open(QIODevice::ReadOnly));
             EXPECT_EQ(file.readAll(), "the maker's only key\n");
         }},
        {"a link planted under the key's name",
         [&](const QString& key) { ASSERT_TRUE(QFile::link(outside, key)); }, 1,
         [&](const QString&) { EXPECT_FALSE(QFile::exists(outside)); }},
    };
    const mode_t previousMask = ::umask(0);
    for (const KeyFileCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& path : {name + ".key", name + ".pub", outside}) {
            QFile::remove(path);
        }
        c.prepare(name + ".key");
        EXPECT_EQ(runCli({"keygen", name}).exitCode, c.exitCode);
        c.check(name + ".key");
    }
    ::umask(previousMask);
}

}  // namespace
}  // namespace verimant::test
