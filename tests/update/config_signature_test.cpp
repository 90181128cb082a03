// The configuration's signature: which verdict each signature earns, its signing time, and the
// machine's policy file.

#include "update/config_signature.h"
#include "tests/support/test_environment.h"
#include "tests/support/unprivileged_user.h"
#include "update/config_trust.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <unistd.h>

namespace verimant::test {
namespace {

const QByteArray kConfig = "[PROJECT_MANAGER]\r\nVERSION_APP=1.2.19\r\n";

QByteArray signatureLine(const QByteArray& config, const SigningKeys& keys) {
    return signDetached(config, keys.secretKey).toBase64() + '\n';
}

TEST(ConfigSignatureTest, OnlyAnIntactSignatureByATrustedKeyIsSigned) {
    const SigningKeys maker = generateSigningKeys();
    const SigningKeys stranger = generateSigningKeys();
    QByteArray truncated = signatureLine(kConfig, maker);
    truncated.chop(6);
    struct Case {
        const char* what;
        QByteArray config;
        std::optional<QByteArray> signature;
        bool required;
        SignatureState expected;
    };
    const Case cases[] = {
        {"valid", kConfig, signatureLine(kConfig, maker), true, SignatureState::Signed},
        {"valid, CR LF after it", kConfig,
         signDetached(kConfig, maker.secretKey).toBase64() + "\r\n", false, SignatureState::Signed},
        {"by an untrusted key", kConfig, signatureLine(kConfig, stranger), false,
         SignatureState::Refused},
        {"not base64", kConfig, QByteArray("#not a signature#\n"), false, SignatureState::Refused},
        {"too short", kConfig, truncated, false, SignatureState::Refused},
        {"empty file", kConfig, QByteArray(), false, SignatureState::Refused},
        {"missing", kConfig, std::nullopt, false, SignatureState::Unsigned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SignatureVerdict verdict = judgeSignature(
            c.config, c.signature, {stranger.publicKey.left(31), maker.publicKey}, c.required);
        EXPECT_EQ(verdict.state, c.expected) << verdict.reason.toStdString();
        if (c.expected == SignatureState::Signed) {
            EXPECT_EQ(verdict.keyId, keyShortId(maker.publicKey));
        }
        if (c.expected == SignatureState::Refused) {
            EXPECT_FALSE(verdict.reason.isEmpty());
        }
    }
    // A key that does not verify must never end up trusted through a typing error.
    QString problem;
    const QList<QByteArray> keys = parsePublicKeys(
        maker.publicKey.toBase64() + ", " + stranger.publicKey.left(31).toBase64() + ",***",
        &problem);
    EXPECT_EQ(keys, QList<QByteArray>{maker.publicKey});
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_EQ(keyShortId(maker.publicKey).size(), 8);
}

// The signing time is part of what is signed; the first form, without one, still verifies.
TEST(ConfigSignatureTest, TheSigningTimeIsSignedAndTheFirstFormReadsAsTimeZero) {
    const SigningKeys maker = generateSigningKeys();
    const QByteArray timed = signatureFileText(kConfig, maker.secretKey, 1796083200);
    QByteArray movedTime = timed;
    movedTime.replace("2026-12-01T00:00:00Z", "2026-12-09T00:00:00Z");
    struct Case {
        const char* what;
        QByteArray signature;
        SignatureState expected;
        qint64 signedAt;
    };
    const Case cases[] = {
        {"timed", timed, SignatureState::Signed, 1796083200},
        {"timed, CR LF", QByteArray(timed).replace("\n", "\r\n"), SignatureState::Signed,
         1796083200},
        {"first form", signatureLine(kConfig, maker), SignatureState::Signed, 0},
        {"time line changed after signing", movedTime, SignatureState::Refused, 0},
        {"time line dropped", timed.mid(timed.indexOf('\n') + 1), SignatureState::Refused, 0},
        {"time not in the written form",
         QByteArray(timed).replace("2026-12-01T00:00:00Z", "2026-12-01 00:00:00"),
         SignatureState::Refused, 0},
        {"a third line", timed + "more\n", SignatureState::Refused, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SignatureVerdict verdict =
            judgeSignature(kConfig, c.signature, {maker.publicKey}, true);
        EXPECT_EQ(verdict.state, c.expected) << verdict.reason.toStdString();
        EXPECT_EQ(verdict.signedAt, c.signedAt);
    }
    EXPECT_TRUE(timed.startsWith("signed 2026-12-01T00:00:00Z\n")) << timed.constData();
}

class PolicyFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = testRootDir() + "/policy-under-test.conf";
        qputenv("VERIMANT_POLICY_FILE", path.toUtf8());
        remove();
    }
    void TearDown() override {
        remove();
        qputenv("VERIMANT_POLICY_FILE", (testRootDir() + "/policy.conf").toUtf8());
    }
    void remove() {
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
    void write(const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString path;
};

// Every spelling an operator may reasonably write means what it says, the last line of a key
// wins, and anything else stops updates with the file and line named: nothing is silently read
// as "not required".
TEST_F(PolicyFileTest, EveryLineIsUnderstoodOrNamedAsTheProblem) {
    struct Case {
        const char* text;
        std::optional<bool> required;  // nothing: refused
        int line;                      // the line that set the value, or the one refused
    };
    const Case cases[] = {
        {"RequireSignedConfiguration=true\n", true, 1},
        {"RequireSignedConfiguration=true # the maker signs every set\n", true, 1},
        {"RequireSignedConfiguration=true;note\n", true, 1},
        {"\xEF\xBB\xBFRequireSignedConfiguration=true\n", true, 1},
        {"RequireSignedConfiguration=on\n", true, 1},
        {"RequireSignedConfiguration=\"true\"\n", true, 1},
        {"RequireSignedConfiguration = 'Yes' ; quoted\n", true, 1},
        {"RequireSignedConfiguration=1\n", true, 1},
        {"# a comment\r\n  requiresignedconfiguration = TRUE \r\n", true, 2},
        {"RequireSignedConfiguration=OFF\n", false, 1},
        {"RequireSignedConfiguration=no\n", false, 1},
        {"RequireSignedConfiguration=0\n", false, 1},
        {"RequireSignedConfiguration=false\nRequireSignedConfiguration=true\n", true, 2},
        {"RequireSignedConfiguration=true\n\nRequireSignedConfiguration=false\n", false, 3},
        {"# RequireSignedConfiguration=true\n", false, 0},
        {"", false, 0},
        {"RequireSignedConfigurationX=true\n", std::nullopt, 1},
        {"RequireSignedConfiguration=true\nRequireSignedConfiguration=maybe\n", std::nullopt, 2},
        {"RequireSignedConfiguration=\n", std::nullopt, 1},
        {"RequireSignedConfiguration=\"true\n", std::nullopt, 1},
        {"RequireSignedConfiguration=\"true\" false\n", std::nullopt, 1},
        {"RequireSignedConfiguration=true false\n", std::nullopt, 1},
        {"[policy]\nRequireSignedConfiguration=true\n", std::nullopt, 1},
        {"\nRequireSignedConfiguration\n", std::nullopt, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        write(c.text);
        const SignaturePolicy policy = loadSignaturePolicy();
        EXPECT_TRUE(policy.present);
        if (!c.required) {
            EXPECT_TRUE(policy.problem.startsWith(QStringLiteral("%1:%2: ").arg(path).arg(c.line)))
                << policy.problem.toStdString();
            EXPECT_TRUE(policyRequiresSignature());
            continue;
        }
        EXPECT_TRUE(policy.usable()) << policy.problem.toStdString();
        EXPECT_EQ(policy.requiresSignature(), *c.required);
        EXPECT_EQ(policyRequiresSignature(), *c.required);
        EXPECT_EQ(policy.originText(policy.requireSignedConfiguration),
                  c.line == 0 ? QStringLiteral("built-in default")
                              : QStringLiteral("%1:%2").arg(path).arg(c.line));
    }
    // A build with keys of its own requires signatures unless the file says otherwise.
    EXPECT_TRUE(parseSignaturePolicy("# nothing set\n", path, true).requiresSignature());
    EXPECT_FALSE(
        parseSignaturePolicy("RequireSignedConfiguration=false\n", path, true).requiresSignature());
}

// A policy file that is there but cannot be read or trusted stops updates, naming the file.
TEST_F(PolicyFileTest, AFileThatCannotBeTrustedIsRefused) {
    const QString target = testRootDir() + "/policy-target.conf";
    struct Case {
        const char* what;
        std::function<void()> place;
        const char* said;  // empty: a usable policy
    };
    const Case cases[] = {
        {"absent", [] {}, ""},
        {"a folder", [&] { QDir().mkpath(path); }, "not a regular file"},
        {"writable by others",
         [&] {
             write("RequireSignedConfiguration=true\n");
             QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOther);
         },
         "writable by other users"},
        {"a link of this user's to a sound file",
         [&] {
             QFile::remove(target);
             QFile file(target);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("RequireSignedConfiguration=true\n");
             file.close();
             QFile::link(target, path);
         },
         ""},
        {"a link owned by another user",
         [&] {
             QFile::link(target, path);
             if (runningAsRoot()) {
                 ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), nobodyUid(), nobodyGid()),
                           0);
             }
         },
         "a link owned by another user"},
        {"a device in its place", [&] { QFile::link("/dev/null", path); }, "not a regular file"},
        {"unreadable",
         [&] {
             write("RequireSignedConfiguration=true\n");
             QFile::setPermissions(path, QFileDevice::Permissions());
         },
         "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        remove();
        c.place();
        if (QByteArray(c.said) == "a link owned by another user" && !runningAsRoot()) {
            continue;  // only root can give a link away
        }
        SignaturePolicy policy;
        {
            // Root reads any file; the unreadable one is unreadable to everyone else.
            std::optional<ActingAsNobody> nobody;
            if (QByteArray(c.said) == "cannot be read") {
                nobody.emplace();
            }
            policy = loadSignaturePolicy();
        }
        if (*c.said == '\0') {
            EXPECT_TRUE(policy.usable()) << policy.problem.toStdString();
            continue;
        }
        EXPECT_TRUE(policy.problem.startsWith(path)) << policy.problem.toStdString();
        EXPECT_TRUE(policy.problem.contains(QString::fromUtf8(c.said)))
            << policy.problem.toStdString();
        EXPECT_TRUE(policy.requiresSignature());
    }
    EXPECT_EQ(policyFilePath(), path);
}

}  // namespace
}  // namespace verimant::test
