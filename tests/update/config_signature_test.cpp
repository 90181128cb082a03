// The configuration's signature: which verdict each signature earns, and the machine's policy.

#include "update/config_signature.h"
#include "tests/support/test_environment.h"
#include "update/config_trust.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

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

TEST(ConfigSignatureTest, ThePolicyFileRequiresSignaturesOnlyWhenItSaysTrue) {
    const QString path = testRootDir() + "/policy-under-test.conf";
    qputenv("VERIMANT_POLICY_FILE", path.toUtf8());
    const std::pair<const char*, bool> cases[] = {
        {"RequireSignedConfiguration=false\n", false},
        {"RequireSignedConfiguration=true\n", true},
        {"# a comment\r\n  requiresignedconfiguration = TRUE \r\n", true},
        {"# RequireSignedConfiguration=true\n", false},
        {"RequireSignedConfigurationX=true\n", false},
    };
    for (const auto& [text, required] : cases) {
        SCOPED_TRACE(text);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        EXPECT_EQ(policyRequiresSignature(), required);
    }
    QFile::remove(path);
    EXPECT_FALSE(policyRequiresSignature());
    EXPECT_EQ(policyFilePath(), path);
}

}  // namespace
}  // namespace verimant::test
