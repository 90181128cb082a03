// The effective signature policy and where each value of it came from.
#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "update/config_signature.h"
#include "update/server_settings.h"
#include "update/signature_policy.h"
#include "update/trust_memory.h"

#include <QJsonArray>
#include <QJsonObject>

namespace verimant::cli {

namespace {

const char* originKey(PolicyOrigin origin) {
    switch (origin) {
        case PolicyOrigin::PolicyFile:
            return "file";
        case PolicyOrigin::CommandLine:
            return "command-line";
        case PolicyOrigin::BuiltIn:
            break;
    }
    return "built-in";
}

QJsonObject settingDocument(const SignaturePolicy& policy, const PolicySetting& setting) {
    QJsonObject entry{{QStringLiteral("key"), QStringLiteral("RequireSignedConfiguration")},
                      {QStringLiteral("value"), setting.value},
                      {QStringLiteral("origin"), QLatin1String(originKey(setting.origin))}};
    if (setting.origin == PolicyOrigin::PolicyFile) {
        entry.insert(QStringLiteral("file"), policy.path);
        entry.insert(QStringLiteral("line"), setting.line);
    }
    return entry;
}

// Every trusted key by its short id, and where the tool got it.
QJsonArray keysDocument(QStringList& lines) {
    QJsonArray keys;
    const QList<std::pair<QString, QString>> sources{
        {builtInTrustedKeysText(), QStringLiteral("built-in")},
        {qEnvironmentVariable("VERIMANT_TRUSTED_KEYS"), QStringLiteral("VERIMANT_TRUSTED_KEYS")}};
    for (const auto& [text, origin] : sources) {
        for (const QByteArray& key : parsePublicKeys(text)) {
            keys.append(QJsonObject{{QStringLiteral("key"), keyShortId(key)},
                                    {QStringLiteral("origin"), origin}});
            lines << QStringLiteral("trusted key %1 (%2)").arg(keyShortId(key), origin);
        }
    }
    if (keys.isEmpty()) {
        lines << QStringLiteral("trusted keys: none");
    }
    return keys;
}

}  // namespace

int runPolicyCommand(CliRun& run, const QStringList&) {
    SignaturePolicy policy = loadSignaturePolicy();
    JsonResult& json = run.json();
    json.set(QStringLiteral("policy_file"), policy.path);
    json.set(QStringLiteral("policy_file_present"), policy.present);
    if (!policy.usable()) {
        run.dialogs().showError(policy.problem +
                                QStringLiteral(" (no update command runs until it is mended)"));
        return kExitFailure;
    }
    if (run.options().isSet(QStringLiteral("require-signature"))) {
        policy.requireSignedConfiguration = {true, PolicyOrigin::CommandLine, 0};
    }
    const PolicySetting& required = policy.requireSignedConfiguration;
    QStringList lines{
        QStringLiteral("policy file: %1 (%2)")
            .arg(policy.path, policy.present ? QStringLiteral("present")
                                             : QStringLiteral("absent: built-in defaults")),
        QStringLiteral("RequireSignedConfiguration=%1 (from %2)")
            .arg(required.value ? QStringLiteral("true") : QStringLiteral("false"),
                 policy.originText(required))};
    json.set(QStringLiteral("settings"), QJsonArray{settingDocument(policy, required)});
    json.set(QStringLiteral("trusted_keys"), keysDocument(lines));
    json.set(QStringLiteral("trust_state"), TrustMemory::defaultPath());
    lines << QStringLiteral("remembered signed sources and signing times: ") +
                 TrustMemory::defaultPath();
    for (const QString& line : lines) {
        std::fprintf(run.out(), "%s\n", line.toUtf8().constData());
    }
    std::fflush(run.out());
    return kExitSuccess;
}

}  // namespace verimant::cli
