#pragma once

#include <QByteArray>
#include <QString>

namespace verimant {

// Where the value of a policy setting came from.
enum class PolicyOrigin {
    BuiltIn,      // the build's default: required exactly when the build carries trusted keys
    PolicyFile,   // a line of the machine's policy file
    CommandLine,  // an option of this one command
};

struct PolicySetting {
    bool value = false;
    PolicyOrigin origin = PolicyOrigin::BuiltIn;
    int line = 0;  // PolicyFile: the line that set it (1-based)
};

// The machine's policy as one run sees it. A file that is present but cannot be trusted or
// understood leaves `problem` set, naming the file and, where there is one, the line: every update
// command then refuses to run, so a damaged policy never relaxes anything.
struct SignaturePolicy {
    QString path;          // the policy file looked at
    bool present = false;  // false: the file does not exist and the built-in defaults apply
    QString problem;
    PolicySetting requireSignedConfiguration;

    bool usable() const { return problem.isEmpty(); }
    // Fails closed: a policy with a problem requires signatures.
    bool requiresSignature() const { return !usable() || requireSignedConfiguration.value; }
    // "FILE:LINE", "built-in default" or "command line (--require-signature)".
    QString originText(const PolicySetting& setting) const;
};

// The policy file of this machine. Only a test build lets VERIMANT_POLICY_FILE replace it.
QString policyFilePath();
// Whether signatures are required when the policy file does not say: yes in a build that carries
// trusted keys of its own.
bool builtInRequiresSignature();

// Reads and judges the policy file at policyFilePath().
SignaturePolicy loadSignaturePolicy();
// The rules for the file's text: `KEY=VALUE` lines, the last occurrence of a key winning; a BOM,
// blank lines, comment lines and trailing comments starting with '#' or ';'; values true/false,
// yes/no, on/off, 1/0 in any case, optionally quoted. Anything else is a problem naming the line.
SignaturePolicy parseSignaturePolicy(const QByteArray& text, const QString& path,
                                     bool defaultRequired);

}  // namespace verimant
