#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/server_files.h"
#include "cli/terminal_text.h"

#include "update/file_hash.h"
#include "update/version_codes.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace verimant::cli {

namespace {

void printLine(CliRun& run, const QString& line) {
    std::fprintf(run.out(), "%s\n", terminalText(line).constData());
}

QString orNone(const QString& text) {
    return text.isEmpty() ? QStringLiteral("(none)") : text;
}

void printProject(CliRun& run, const UpdateConfig& config) {
    const QString section = QString::fromLatin1(kProjectSection);
    const QString text = config.readString(section, QStringLiteral("VERSION_APP"), "0.0.0");
    const std::int32_t value = parseAppVersion(text);
    printLine(run, QStringLiteral("Newest tool version : %1%2")
                       .arg(text, value < 0 ? QStringLiteral(" (unreadable)") : QString()));
    printLine(run, QStringLiteral("Stop when outdated  : %1")
                       .arg(config.readInteger(section, "ACTION_IF_NEED_UPGRADE", 0) == 1
                                ? QStringLiteral("yes")
                                : QStringLiteral("no")));
    for (const char* key : {"UPGRADE_URL_1", "UPGRADE_URL_2"}) {
        const QString address = config.readString(section, QString::fromLatin1(key));
        if (!address.isEmpty()) {
            printLine(run, QStringLiteral("Download address    : ") + address);
        }
    }
    printLine(run, QStringLiteral("Serial-number base  : ") +
                       orNone(config.readString(QString::fromLatin1(kSerialNumberSection),
                                                QStringLiteral("BASE_NAME"))));
}

void printModels(CliRun& run, const UpdateConfig& config) {
    const QString section = QString::fromLatin1(kSerialNumberSection);
    printLine(run, QStringLiteral("\nModels:"));
    for (const QString& key : config.profile().keyNames(section)) {
        if (key.startsWith(u'Y', Qt::CaseInsensitive)) {
            printLine(run, QStringLiteral("  %1 %2").arg(key, -6).arg(config.modelName(key)));
        }
    }
}

void printCatalogue(CliRun& run, const LanguageCatalog& catalog) {
    printLine(run, QStringLiteral("\nLanguage catalogue (%1):").arg(catalog.count));
    for (int i = 0; i < catalog.count; ++i) {
        const LanguageEntry& entry = catalog.entries[i];
        printLine(run, QStringLiteral("  %1 %2 %3 / %4")
                           .arg(entry.code, 4)
                           .arg(entry.key, -6)
                           .arg(entry.nameRu, entry.nameEn));
    }
}

void printPacket(CliRun& run, const UpdateConfig& config, const QString& packet) {
    const QString section = QString::fromLatin1(kLanguageSectionPrefix) + packet;
    printLine(run, QStringLiteral("    %1: %2 / %3; languages %4")
                       .arg(packet, config.readString(section, "NAME_L1", "???"),
                            config.readString(section, "NAME_L2", "???"),
                            orNone(config.readString(section, "LANG_LIST"))));
}

void printLanguageSets(CliRun& run, const UpdateConfig& config) {
    printLine(run, QStringLiteral("\nLanguage sets:"));
    for (const auto& [name, packets] : config.languageSets()) {
        printLine(run, QStringLiteral("  %1").arg(name));
        for (const QString& packet : packets) {
            printPacket(run, config, packet);
        }
    }
}

// Whether the file is checked after its download: a file without a hash is written as it comes,
// and a malformed one stops the upgrade before anything is written.
QString hashNote(const QString& sha256) {
    if (sha256.isEmpty()) {
        return QStringLiteral(" [no SHA256]");
    }
    return isSha256Text(sha256) ? QStringLiteral(" SHA256 ") + sha256.toLower()
                                : QStringLiteral(" [bad SHA256]");
}

void printFirmwareFile(CliRun& run, const UpdateConfig& config, const char* part,
                       const QString& fileId) {
    const QString section = QStringLiteral("FILE:") + fileId;
    const QString version = config.readString(section, "VERSION");
    const QString length = config.readString(section, "LENGTH");
    printLine(
        run,
        QStringLiteral("    %1 %2 %3%4%5%6")
            .arg(QString::fromLatin1(part), -4)
            .arg(orNone(version), -8)
            .arg(orNone(config.readString(section, "NAME")))
            .arg(length.isEmpty() ? QString() : QStringLiteral(" (") + length + " bytes)")
            .arg(parseFirmwareVersion(version) == 0 ? QStringLiteral(" [bad version]") : QString())
            .arg(hashNote(config.readString(section, "SHA256"))));
}

// Each SOFT_SET section once, as the profile rules read it: the first of a name wins.
QStringList firmwareSetSections(const UpdateConfig& config) {
    QStringList sections;
    QSet<QString> seen;
    for (const QString& section : config.profile().sectionNames()) {
        if (section.startsWith(QLatin1String("SOFT_SET:"), Qt::CaseInsensitive) &&
            !seen.contains(section.toCaseFolded())) {
            seen.insert(section.toCaseFolded());
            sections.append(section);
        }
    }
    return sections;
}

void printFirmwareSets(CliRun& run, const UpdateConfig& config) {
    printLine(run, QStringLiteral("\nFirmware sets:"));
    for (const QString& section : firmwareSetSections(config)) {
        printLine(run, QStringLiteral("  ") + section);
        printFirmwareFile(run, config, "KMT2", config.readString(section, "KMT2"));
        printFirmwareFile(run, config, "EFL", config.readString(section, "EFL"));
    }
}

QJsonObject firmwareFileJson(const UpdateConfig& config, const char* part, const QString& fileId) {
    const QString section = QStringLiteral("FILE:") + fileId;
    QJsonObject file{{QStringLiteral("part"), QString::fromLatin1(part)},
                     {QStringLiteral("id"), fileId},
                     {QStringLiteral("version"), config.readString(section, "VERSION")},
                     {QStringLiteral("name"), config.readString(section, "NAME")}};
    bool numeric = false;
    const qint64 length = config.readString(section, "LENGTH").toLongLong(&numeric);
    if (numeric) {
        file.insert(QStringLiteral("length"), length);
    }
    const QString sha256 = config.readString(section, "SHA256");
    if (!sha256.isEmpty()) {
        file.insert(QStringLiteral("sha256"), sha256.toLower());
    }
    return file;
}

QJsonArray firmwareSetsJson(const UpdateConfig& config) {
    QJsonArray sets;
    for (const QString& section : firmwareSetSections(config)) {
        sets.append(QJsonObject{
            {QStringLiteral("section"), section},
            {QStringLiteral("files"),
             QJsonArray{firmwareFileJson(config, "KMT2", config.readString(section, "KMT2")),
                        firmwareFileJson(config, "EFL", config.readString(section, "EFL"))}}});
    }
    return sets;
}

QStringList listItems(const QString& list) {
    QStringList items;
    for (const QString& item : list.split(u',')) {
        if (!item.trimmed().isEmpty()) {
            items.append(item.trimmed());
        }
    }
    return items;
}

QJsonArray packetsJson(const UpdateConfig& config) {
    QJsonArray packets;
    QSet<QString> seen;
    for (const auto& [setName, setPackets] : config.languageSets()) {
        for (const QString& packet : setPackets) {
            if (seen.contains(packet)) {
                continue;
            }
            seen.insert(packet);
            const QString section = QString::fromLatin1(kLanguageSectionPrefix) + packet;
            packets.append(QJsonObject{
                {QStringLiteral("name"), packet},
                {QStringLiteral("languages"),
                 QJsonArray::fromStringList(listItems(config.readString(section, "LANG_LIST")))},
                {QStringLiteral("name_ru"), config.readString(section, "NAME_L1", "???")},
                {QStringLiteral("name_en"), config.readString(section, "NAME_L2", "???")}});
        }
    }
    return packets;
}

QJsonObject configJson(const UpdateConfig& config) {
    const QString project = QString::fromLatin1(kProjectSection);
    const QString serials = QString::fromLatin1(kSerialNumberSection);
    QJsonObject models;
    for (const QString& key : config.profile().keyNames(serials)) {
        if (key.startsWith(u'Y', Qt::CaseInsensitive)) {
            models.insert(key, config.modelName(key));
        }
    }
    QJsonArray languages;
    const LanguageCatalog& catalog = config.languageCatalog();
    for (int i = 0; i < catalog.count; ++i) {
        const LanguageEntry& entry = catalog.entries[i];
        languages.append(QJsonObject{{QStringLiteral("code"), entry.code},
                                     {QStringLiteral("key"), entry.key},
                                     {QStringLiteral("name_ru"), entry.nameRu},
                                     {QStringLiteral("name_en"), entry.nameEn}});
    }
    QJsonObject languageSets;
    for (const auto& [name, packets] : config.languageSets()) {
        languageSets.insert(name, QJsonArray::fromStringList(packets));
    }
    QJsonArray addresses;
    for (const char* key : {"UPGRADE_URL_1", "UPGRADE_URL_2"}) {
        const QString address = config.readString(project, QString::fromLatin1(key));
        if (!address.isEmpty()) {
            addresses.append(address);
        }
    }
    return {{QStringLiteral("version_app"),
             config.readString(project, QStringLiteral("VERSION_APP"), "0.0.0")},
            {QStringLiteral("stop_when_outdated"),
             config.readInteger(project, "ACTION_IF_NEED_UPGRADE", 0) == 1},
            {QStringLiteral("download_addresses"), addresses},
            {QStringLiteral("base_name"), config.readString(serials, QStringLiteral("BASE_NAME"))},
            {QStringLiteral("models"), models},
            {QStringLiteral("languages"), languages},
            {QStringLiteral("language_sets"), languageSets},
            {QStringLiteral("packets"), packetsJson(config)},
            {QStringLiteral("firmware_sets"), firmwareSetsJson(config)}};
}

}  // namespace

int runConfigCommand(CliRun& run, const QStringList&) {
    ServerFiles files(run);
    UpdateConfig config;
    if (!files.fetchConfig(config)) {
        return kExitFailure;
    }
    config.loadLanguageCatalog();
    run.json().setAll(configJson(config));
    printProject(run, config);
    printModels(run, config);
    printCatalogue(run, config.languageCatalog());
    printLanguageSets(run, config);
    printFirmwareSets(run, config);
    return kExitSuccess;
}

}  // namespace verimant::cli
