#include "update/config_trust.h"

#include "base/activity_log.h"
#include "update/config_signature.h"
#include "update/update_source.h"

#include <QFile>

#include <optional>

namespace verimant {

namespace {

constexpr char kPolicyVariable[] = "VERIMANT_POLICY_FILE";
constexpr char kDefaultPolicyFile[] = "/etc/verimant-manager/policy.conf";

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The signature beside the configuration, when the source has one.
std::optional<QByteArray> fetchSignature(UpdateSource& source, const QString& serverName,
                                         const QString& localPath) {
    const QString suffix = QString::fromLatin1(kSignatureSuffix);
    const QString localSignature = localPath + suffix;
    if (!source.fetchFile(serverName + suffix, localSignature)) {
        return std::nullopt;
    }
    auto text = readWhole(localSignature);
    QFile::remove(localSignature);
    // A signature that was there but cannot be read must not pass for an absent one.
    return text ? text : std::optional<QByteArray>(QByteArray());
}

}  // namespace

QString policyFilePath() {
    const QByteArray path = qgetenv(kPolicyVariable);
    return path.isEmpty() ? QString::fromLatin1(kDefaultPolicyFile) : QString::fromLocal8Bit(path);
}

bool policyRequiresSignature() {
    const auto text = readWhole(policyFilePath());
    if (!text) {
        return false;
    }
    for (const QByteArray& rawLine : text->split('\n')) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || line.startsWith(';') || equals < 0) {
            continue;
        }
        if (line.left(equals).trimmed().toLower() == "requiresignedconfiguration") {
            const QByteArray value = line.mid(equals + 1).trimmed().toLower();
            return value == "true" || value == "yes" || value == "1";
        }
    }
    return false;
}

ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, bool required, ActivityLog& log) {
    const auto config = readWhole(localPath);
    if (!config) {
        return ConfigTrust::Refused;
    }
    QString keyProblem;
    const QList<QByteArray> keys = trustedPublicKeys(&keyProblem);
    if (!keyProblem.isEmpty()) {
        log.AddErrorLine(QStringLiteral("ERROR TRUSTED KEYS : ") + keyProblem, 0);
    }
    const SignatureVerdict verdict =
        judgeSignature(*config, fetchSignature(source, serverName, localPath), keys, required);
    switch (verdict.state) {
        case SignatureState::Signed:
            log.AddLine(QStringLiteral("CONFIG SIGNED [") + serverName +
                        QStringLiteral("] KEY = ") + verdict.keyId);
            return ConfigTrust::Signed;
        case SignatureState::Unsigned:
            log.AddLine(QStringLiteral("WARNING CONFIG UNSIGNED [") + serverName + u']');
            return ConfigTrust::Unsigned;
        case SignatureState::Refused:
            break;
    }
    log.AddErrorLine(QStringLiteral("ERROR CONFIG SIGNATURE [") + serverName +
                         QStringLiteral("] : ") + verdict.reason,
                     0);
    QFile::remove(localPath);
    return ConfigTrust::Refused;
}

}  // namespace verimant
