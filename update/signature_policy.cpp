#include "update/signature_policy.h"

#include "platform/guarded_file.h"
#include "update/build_options.h"
#include "update/config_signature.h"
#include "update/server_settings.h"

#include <QFile>

#include <optional>

namespace verimant {

namespace {

constexpr char kDefaultPolicyFile[] = "/etc/verimant-manager/policy.conf";
constexpr char kRequireKey[] = "requiresignedconfiguration";
// A policy is a few lines; anything much larger is not one.
constexpr qint64 kMaxPolicyBytes = 65536;

// The value without its quotes and trailing comment; nothing when the quoting is broken or text
// follows the closing quote.
std::optional<QByteArray> bareValue(const QByteArray& raw) {
    const QByteArray value = raw.trimmed();
    if (value.startsWith('"') || value.startsWith('\'')) {
        const qsizetype closing = value.indexOf(value.at(0), 1);
        if (closing < 0) {
            return std::nullopt;
        }
        const QByteArray rest = value.mid(closing + 1).trimmed();
        if (!rest.isEmpty() && !rest.startsWith('#') && !rest.startsWith(';')) {
            return std::nullopt;
        }
        return value.mid(1, closing - 1).trimmed();
    }
    qsizetype comment = value.size();
    for (const char mark : {'#', ';'}) {
        const qsizetype at = value.indexOf(mark);
        if (at >= 0 && at < comment) {
            comment = at;
        }
    }
    return value.left(comment).trimmed();
}

std::optional<bool> switchValue(const QByteArray& text) {
    const QByteArray word = text.toLower();
    for (const char* yes : {"true", "yes", "on", "1"}) {
        if (word == yes) {
            return true;
        }
    }
    for (const char* no : {"false", "no", "off", "0"}) {
        if (word == no) {
            return false;
        }
    }
    return std::nullopt;
}

// Why the line cannot be taken, or empty text when it set the value.
QString applyLine(const QByteArray& line, int number, SignaturePolicy& policy) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) {
        return QStringLiteral("not of the form KEY=VALUE");
    }
    const QByteArray key = line.left(equals).trimmed();
    if (key.toLower() != kRequireKey) {
        return QStringLiteral("unknown key '%1'").arg(QString::fromLatin1(key));
    }
    const auto value = bareValue(line.mid(equals + 1));
    const auto setting = value ? switchValue(*value) : std::nullopt;
    if (!setting) {
        return QStringLiteral("'%1' is not true/false, yes/no, on/off or 1/0")
            .arg(QString::fromLatin1(line.mid(equals + 1).trimmed()));
    }
    policy.requireSignedConfiguration = {*setting, PolicyOrigin::PolicyFile, number};
    return {};
}

// The file's bytes when it may be trusted; otherwise nothing, with the problem noted. A missing
// file is no problem: it leaves `present` false.
std::optional<QByteArray> readPolicyFile(SignaturePolicy& policy) {
    GuardedFileRead read = readGuardedFile(policy.path, kMaxPolicyBytes);
    policy.present = read.state != GuardedFileRead::State::Missing;
    if (read.state == GuardedFileRead::State::Refused) {
        policy.problem = policy.path + QStringLiteral(": ") + read.problem;
    }
    if (read.state != GuardedFileRead::State::Read) {
        return std::nullopt;
    }
    return std::move(read.bytes);
}

}  // namespace

QString SignaturePolicy::originText(const PolicySetting& setting) const {
    switch (setting.origin) {
        case PolicyOrigin::PolicyFile:
            return QStringLiteral("%1:%2").arg(path).arg(setting.line);
        case PolicyOrigin::CommandLine:
            return QStringLiteral("command line (--require-signature)");
        case PolicyOrigin::BuiltIn:
            break;
    }
    return QStringLiteral("built-in default");
}

QString policyFilePath() {
#if VERIMANT_TEST_OVERRIDES
    const QByteArray path = qgetenv("VERIMANT_POLICY_FILE");
    if (!path.isEmpty()) {
        return QFile::decodeName(path);
    }
#endif
    return QString::fromLatin1(kDefaultPolicyFile);
}

bool builtInRequiresSignature() {
    return !parsePublicKeys(builtInTrustedKeysText()).isEmpty();
}

SignaturePolicy loadSignaturePolicy() {
    SignaturePolicy policy;
    policy.path = policyFilePath();
    policy.requireSignedConfiguration.value = builtInRequiresSignature();
    const auto text = readPolicyFile(policy);
    if (!text) {
        return policy;
    }
    SignaturePolicy parsed = parseSignaturePolicy(*text, policy.path, builtInRequiresSignature());
    parsed.present = true;
    return parsed;
}

SignaturePolicy parseSignaturePolicy(const QByteArray& text, const QString& path,
                                     bool defaultRequired) {
    SignaturePolicy policy;
    policy.path = path;
    policy.present = true;
    policy.requireSignedConfiguration.value = defaultRequired;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    }
    const QList<QByteArray> lines = body.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QByteArray line = lines.at(index).trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';')) {
            continue;
        }
        const int number = int(index + 1);
        const QString problem = applyLine(line, number, policy);
        if (!problem.isEmpty()) {
            policy.problem = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(problem);
            return policy;
        }
    }
    return policy;
}

}  // namespace verimant
