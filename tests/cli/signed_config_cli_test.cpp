// verimant-cli with a signed configuration: the maker's keygen, sign-config and verify-config,
// and upgrades from a folder set whose signature or hashes fail, which must stop before the
// instrument is written.

#include "tests/cli/offline_set_fixture.h"
#include "update/config_signature.h"
#include "update/profile_reader.h"
#include "update/trust_memory.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace verimant::test {
namespace {

const QString kConfig = QStringLiteral("verimant_version_3.ini");
const QString kFirmware = QStringLiteral("verimant_kmt2_3_2.hex");
const QString kBase = QStringLiteral("verimant_sn_base.bin");
const QString kData = QStringLiteral("verimant_efl_ru_en_1_6.bin");
constexpr qint64 kMonday = 1796083200;  // 2026-12-01T00:00:00Z
constexpr qint64 kTuesday = kMonday + 86400;

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

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject jsonOf(const CliResult& result) {
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

const QString kDemoKeyFile =
    QStringLiteral(VERIMANT_SOURCE_DIR "/examples/demo-signing-key.DEMO-ONLY");

class SignedConfigCliTest : public OfflineSetTest {
protected:
    SignedConfigCliTest() : OfflineSetTest(QStringLiteral("signed-set")) {}

    void SetUp() override {
        OfflineSetTest::SetUp();
        ASSERT_TRUE(set.signConfig(demoSecretKey()));
        QFile::remove(policyPath());
        QFile::remove(TrustMemory::defaultPath());
    }

    bool sign(qint64 signedAt) { return set.signConfig(demoSecretKey(), signedAt); }

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
    const QJsonObject made = jsonOf(runCli({"keygen", "--json", name}));
    ASSERT_EQ(made.value("exit_code").toInt(-1), 0);
    EXPECT_EQ(made.value("public_key").toString().toLatin1() + '\n', readFile(name + ".pub"));
    EXPECT_EQ(made.value("key").toString(),
              keyShortId(QByteArray::fromBase64(readFile(name + ".pub"))));
    EXPECT_EQ(made.value("secret_key_file").toString(), name + ".key");
    EXPECT_EQ(made.value("public_key_file").toString(), name + ".pub");
    EXPECT_EQ(QFile(name + ".key").permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadUser |
                                                      QFileDevice::WriteUser);
    const QByteArray secret = readFile(name + ".key");
    EXPECT_EQ(runCli({"keygen", name}).exitCode, 1);
    EXPECT_EQ(readFile(name + ".key"), secret);

    const QString config = set.root() + "/" + kConfig;
    qputenv("SOURCE_DATE_EPOCH", QByteArray::number(kMonday));
    const QJsonObject signedDocument =
        jsonOf(runCli({"sign-config", "--json", "--key", name + ".key", config}));
    qunsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(signedDocument.value("exit_code").toInt(-1), 0);
    const QByteArray publicKey = readFile(name + ".pub").trimmed();
    const QString keyId = keyShortId(QByteArray::fromBase64(publicKey));
    EXPECT_EQ(signedDocument.value("key").toString(), keyId);
    EXPECT_EQ(signedDocument.value("signature").toString(), config + ".sig");
    EXPECT_EQ(signedDocument.value("signed_at").toString(), "2026-12-01T00:00:00Z");
    // Trusted only once the environment names the key.
    EXPECT_EQ(runCli({"verify-config", config}).exitCode, 1);
    const QByteArray demoKeys = qgetenv("VERIMANT_TRUSTED_KEYS");
    qputenv("VERIMANT_TRUSTED_KEYS", demoKeys + "," + publicKey);
    const CliResult verified = runCli({"verify-config", config});
    qputenv("VERIMANT_TRUSTED_KEYS", demoKeys);
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_TRUE(verified.out.contains("signed by trusted key " + keyId)) << verified.out;
}

struct VerdictCase {
    const char* what;
    std::function<void()> prepare;
    QStringList extra;
    int exitCode;
    const char* verdict;
    QString signer;  // the key named as the signer; empty: none can be named
    bool trusted;
    QString said;
};

// Each verdict reads differently: a key this machine does not trust is named as the signer, a
// changed file is told apart from it once the maker's key is given, and a file without a
// signature is said to have none, not to need one.
TEST_F(SignedConfigCliTest, VerifyConfigNamesTheSignerAndWhetherThisMachineTrustsIt) {
    const QString config = set.root() + "/" + kConfig;
    const QString maker = testRootDir() + "/verdict-maker";
    QFile::remove(maker + ".key");
    QFile::remove(maker + ".pub");
    ASSERT_EQ(runCli({"keygen", maker}).exitCode, 0);
    const QString makerId = keyShortId(QByteArray::fromBase64(readFile(maker + ".pub")));
    const QString demoId = keyShortId(demoSecretKey().right(32));
    const auto signByMaker = [&] {
        ASSERT_EQ(runCli({"sign-config", "--key", maker + ".key", config}).exitCode, 0);
    };
    const auto tamper = [&] {
        QByteArray bytes = set.file(kConfig);
        bytes[bytes.indexOf("VERSION_APP=") + 12] = '0';
        ASSERT_TRUE(writeFile(config, bytes));
    };
    const VerdictCase cases[] = {
        {"signed by a trusted key",
         [] {},
         {},
         0,
         "trusted",
         demoId,
         true,
         "signed by trusted key " + demoId + " (VERIMANT_TRUSTED_KEYS) at 20"},
        {"a trusted key, the maker's key given too",
         [] {},
         {"--key", maker + ".pub"},
         0,
         "trusted",
         demoId,
         true,
         "signed by trusted key " + demoId},
        {"signed by an untrusted key, named with --key",
         signByMaker,
         {"--key", maker + ".pub"},
         1,
         "untrusted",
         makerId,
         false,
         "signed by key " + makerId + " at 20"},
        {"an untrusted key, its secret half given",
         signByMaker,
         {"--key", maker + ".key"},
         1,
         "untrusted",
         makerId,
         false,
         "which this machine does not trust"},
        {"signed by an untrusted key, no --key",
         signByMaker,
         {},
         1,
         "unverified",
         QString(),
         false,
         "valid under no trusted key (this machine trusts " + demoId},
        {"changed after signing, the signer's key given",
         tamper,
         {"--key", kDemoKeyFile + ".pub"},
         1,
         "mismatch",
         QString(),
         false,
         "the bytes do not match the signature under key " + demoId},
        {"changed after signing, signed by an untrusted key",
         [&] {
             signByMaker();
             tamper();
         },
         {"--key", maker + ".pub"},
         1,
         "mismatch",
         QString(),
         false,
         "do not match the signature under key " + makerId},
        {"no signature",
         [&] { QFile::remove(config + ".sig"); },
         {},
         1,
         "unsigned",
         QString(),
         false,
         "has no signature: there is no " + config + ".sig"},
        {"a signature that is no signature",
         [&] { writeFile(config + ".sig", "c2ln\n"); },
         {},
         1,
         "malformed",
         QString(),
         false,
         "is not a signature"},
        {"trusted, but a file without its hash",
         [&] {
             const QString text = QString::fromLatin1(set.file(kConfig));
             const qsizetype at = text.indexOf("SHA256=", text.indexOf("NAME=" + kFirmware));
             set.editConfig(text.mid(at, 7 + 64 + 2), QString());
             set.signConfig(demoSecretKey());
         },
         {},
         1,
         "trusted",
         demoId,
         true,
         "verimant_kmt2_3_2.hex has no SHA256"},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.prepare();
        const CliResult result = runCli(QStringList{"verify-config", "--json", config} + c.extra);
        const QJsonObject document = jsonOf(result);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(document.value("verdict").toString(), QString::fromLatin1(c.verdict));
        EXPECT_EQ(document.value("key").toString(), c.signer) << result.out;
        EXPECT_EQ(document.value("trusted").toBool(), c.trusted);
        EXPECT_EQ(document.value("signed").toBool(), c.trusted);
        EXPECT_TRUE(result.err.contains(c.said)) << result.err;
        EXPECT_FALSE(result.err.contains("signatures are required")) << result.err;
    }
}

struct SigningCase {
    const char* what;
    std::function<void()> spoil;
    QStringList extra;
    int exitCode;
    QStringList said;
    // The configuration expected afterwards, from the one before; nothing: left as it was.
    std::function<QByteArray(const QByteArray& before)> expected;
};

// sign-config signs only a configuration the tool will take: every file and the base with its
// hash. --hash-from fills them from the set's files, whole or not at all, keeping every other
// byte of the maker's file.
TEST_F(SignedConfigCliTest, SignConfigVouchesForEveryFileOrFillsItsHashFirst) {
    const QString config = set.root() + "/" + kConfig;
    const QString text = QString::fromLatin1(set.file(kConfig));
    const auto lineOf = [&](const QString& key, const QString& after) {
        const qsizetype at = text.indexOf(key, text.indexOf(after));
        return text.mid(at, text.indexOf("\r\n", at) + 2 - at).toLatin1();
    };
    const QByteArray firmwareHash = lineOf("SHA256=", "NAME=" + kFirmware);
    const QByteArray baseHash = lineOf("BASE_SHA256=", "[SERIAL_NUMBER]");
    const auto drop = [&](const QByteArray& line) { set.editConfig(line, QString()); };
    const auto original = [&] { return set.file(kConfig); };
    const QByteArray demoConfig = original();
    const SigningCase cases[] = {
        {"a file and the base without a hash",
         [&] {
             drop(firmwareHash);
             drop(baseHash);
         },
         {},
         1,
         {"[SERIAL_NUMBER] verimant_sn_base.bin has no BASE_SHA256",
          "[FILE:KMT2_278_0302] verimant_kmt2_3_2.hex has no SHA256", "--hash-from DIR"},
         nullptr},
        {"a malformed hash",
         [&] { set.editConfig(firmwareHash, "SHA256=a1819530\r\n"); },
         {},
         1,
         {"verimant_kmt2_3_2.hex has a malformed SHA256"},
         nullptr},
        {"--hash-from replaces wrong hashes in place",
         [&] {
             set.editConfig(firmwareHash, "SHA256=" + QString(64, u'0') + "\r\n");
             set.editConfig(baseHash, "BASE_SHA256=" + QString(64, u'F') + "\r\n");
         },
         {"--hash-from", set.root()},
         0,
         {"[FILE:KMT2_278_0302] SHA256=", "signed by key"},
         [&](const QByteArray&) { return demoConfig; }},
        {"--hash-from adds missing hashes after each section's last key",
         [&] {
             drop(firmwareHash);
             drop(baseHash);
         },
         {"--hash-from", set.root()},
         0,
         {"[SERIAL_NUMBER] BASE_SHA256="},
         [&](const QByteArray&) {
             QByteArray expected = demoConfig;
             expected.remove(expected.indexOf(baseHash), baseHash.size());
             return expected.insert(expected.indexOf("Y45=T45 Pro\r\n") + 13, baseHash);
         }},
        {"--hash-from with a file missing from DIR",
         [&] {
             drop(firmwareHash);
             QFile::remove(set.root() + "/" + kData);
         },
         {"--hash-from", set.root()},
         1,
         {"left as it was and not signed", kData + " is not in " + set.root()},
         nullptr},
        {"--hash-from with a name leading out of DIR",
         [&] { set.editConfig("NAME=" + kFirmware, "NAME=..\\" + kFirmware); },
         {"--hash-from", set.root()},
         1,
         {"..\\" + kFirmware + ": \"..\" in the name"},
         nullptr},
    };
    for (const SigningCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.spoil();
        const QByteArray before = original();
        QFile::remove(config + ".sig");
        const CliResult result = runCli(
            QStringList{"sign-config", "--key", kDemoKeyFile + ".key", "--json", config} + c.extra);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        for (const QString& text : c.said) {
            EXPECT_TRUE(result.err.contains(text)) << result.err;
        }
        EXPECT_EQ(original(), c.expected ? c.expected(before) : before);
        EXPECT_EQ(QFile::exists(config + ".sig"), c.exitCode == 0);
        const QJsonObject document = jsonOf(result);
        if (c.exitCode != 0) {
            EXPECT_FALSE(document.contains("signature"));
            EXPECT_TRUE(document.contains("unhashed") || document.contains("problems"));
            continue;
        }
        // Every hash the document names is the one now in the signed configuration.
        const QJsonArray hashes = document.value("hashes").toArray();
        EXPECT_EQ(hashes.size(), 4);
        const ProfileReader filled = ProfileReader::fromBytes(original());
        for (const QJsonValue& hash : hashes) {
            const QJsonObject entry = hash.toObject();
            EXPECT_EQ(
                filled.value(entry.value("section").toString(), entry.value("key").toString()),
                entry.value("sha256").toString());
        }
        EXPECT_TRUE(document.value("config_written").toBool());
        EXPECT_EQ(runCli({"verify-config", config}).exitCode, 0);
    }
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

// After a signed configuration from a folder, an unsigned one or an older one of the same key
// from there is refused; --allow-older-set lets an older one pass for one command.
TEST_F(SignedConfigCliTest, AStrippedOrOlderSetNeverFollowsASignedOne) {
    const QString signature = set.root() + "/" + kConfig + ".sig";
    struct Case {
        const char* what;
        std::function<bool()> change;
        QStringList extra;
        int exitCode;
        QStringList said;
    };
    const Case cases[] = {
        {"signed on Tuesday", [&] { return sign(kTuesday); }, {}, 0, {"2026-12-02T00:00:00Z"}},
        {"signature removed",
         [&] { return QFile::remove(signature); },
         {},
         1,
         {"served a signed configuration before"}},
        {"signed on Monday",
         [&] { return sign(kMonday); },
         {},
         1,
         {"signed at 2026-12-01T00:00:00Z", "signed at 2026-12-02T00:00:00Z", "--allow-older-set"}},
        {"signed on Monday, --allow-older-set",
         [&] { return sign(kMonday); },
         {"--allow-older-set"},
         0,
         {"WARNING OLDER CONFIG ACCEPTED"}},
        {"the first form", [&] { return sign(0); }, {}, 1, {"signed at 0 (unstated)"}},
        {"signed on Wednesday",
         [&] { return sign(kTuesday + 86400); },
         {},
         0,
         {"2026-12-03T00:00:00Z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.change());
        const CliResult result = runCli(QStringList{"config", "--source", set.root()} + c.extra);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        for (const QString& text : c.said) {
            EXPECT_TRUE((result.out + result.err).contains(text)) << result.out << result.err;
        }
    }
}

// The demo set's attack: served again without its signature and with a changed data image, after
// the signed one was once accepted. Nothing reaches the instrument.
TEST_F(SignedConfigCliTest, AStrippedSetWithAChangedImageIsNeverWritten) {
    ASSERT_EQ(runCli({"config", "--source", set.root()}).exitCode, 0);
    QByteArray data = set.file(kData);
    data[100] = char(data[100] ^ 0x55);
    ASSERT_TRUE(set.replaceFile(kData, data));
    QFile::remove(set.root() + "/" + kConfig + ".sig");
    sim::PtyInstrument& device = plugIn();
    const CliResult result = upgrade();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("served a signed configuration before")) << result.out;
    device.withInstrument([](sim::Instrument& d) { EXPECT_TRUE(d.flashOperations().empty()); });
}

// --yes consents to an update; a set older than the instrument's firmware needs its own consent.
TEST_F(SignedConfigCliTest, ADowngradeNeedsItsOwnConsent) {
    struct Case {
        QStringList extra;
        int exitCode;
        const char* said;
    };
    const Case cases[] = {
        {{}, 1, "KMT2 3.3 -> 3.2): a downgrade needs --allow-downgrade; --yes does not"},
        {{"--allow-downgrade"}, 0, "DOWNGRADE ALLOWED (--allow-downgrade) : KMT2 3.3 -> 3.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra.join(' ').toStdString());
        sim::PtyInstrument& device = plugIn(0x0303);
        const CliResult result = upgrade(c.extra);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_TRUE((result.out + result.err).contains(c.said)) << result.err;
        device.withInstrument(
            [&](sim::Instrument& d) { EXPECT_EQ(d.flashOperations().empty(), c.exitCode != 0); });
        instrument.reset();
    }
}

// 'policy' names where the value in force comes from; a policy file that cannot be understood
// stops every update command, naming the file and line.
TEST_F(SignedConfigCliTest, ThePolicyInForceAndWhereItComesFrom) {
    struct Case {
        const char* policy;  // nullptr: no policy file
        QStringList extra;
        int exitCode;
        QString said;
        const char* origin;
    };
    const Case cases[] = {
        {nullptr, {}, 0, "RequireSignedConfiguration=false (from built-in default)", "built-in"},
        {"RequireSignedConfiguration=false\nRequireSignedConfiguration=yes # now\n",
         {},
         0,
         "RequireSignedConfiguration=true (from " + policyPath() + ":2)",
         "file"},
        {"RequireSignedConfiguration=false\n",
         {"--require-signature"},
         0,
         "RequireSignedConfiguration=true (from command line (--require-signature))",
         "command-line"},
        {"RequireSignedConfiguration=maybe\n", {}, 1, policyPath() + ":1: 'maybe' is not", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy ? c.policy : "no policy file");
        QFile::remove(policyPath());
        if (c.policy != nullptr) {
            ASSERT_TRUE(writeFile(policyPath(), c.policy));
        }
        const CliResult shown = runCli(QStringList{"policy"} + c.extra);
        EXPECT_EQ(shown.exitCode, c.exitCode);
        EXPECT_TRUE((shown.out + shown.err).contains(c.said)) << shown.out << shown.err;
        const CliResult json = runCli(QStringList{"policy", "--json"} + c.extra);
        const QJsonObject document = QJsonDocument::fromJson(json.out.toUtf8()).object();
        EXPECT_EQ(document.value("policy_file").toString(), policyPath());
        if (c.origin != nullptr) {
            const QJsonObject setting = document.value("settings").toArray().at(0).toObject();
            EXPECT_EQ(setting.value("origin").toString(), QString::fromLatin1(c.origin));
            continue;
        }
        for (const QStringList& command :
             {QStringList{"config", "--source", set.root()},
              QStringList{"lookup", "12345678", "--source", set.root()},
              QStringList{"upgrade", "--source", set.root(), "--port", "7", "--yes"}}) {
            const CliResult refused = runCli(command);
            EXPECT_EQ(refused.exitCode, 1) << command.join(' ').toStdString();
            EXPECT_TRUE(refused.err.contains(c.said)) << refused.err;
        }
    }
}

}  // namespace
}  // namespace verimant::test
