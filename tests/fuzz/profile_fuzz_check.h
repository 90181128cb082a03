#pragma once

#include "base/activity_log.h"
#include "update/profile_reader.h"
#include "update/update_config.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <string>

namespace verimant::fuzz {

// Reads one arbitrary input as an update configuration and checks what must hold for any file
// the server could publish: values within their length limit, every listed key readable through
// its section, a catalogue within its slots holding only valid entries, and packet lists that
// agree with their sections. Returns an empty text when everything holds, else what went wrong.
inline std::string checkProfileInput(QByteArrayView input, const QString& scratchPath) {
    const QByteArray bytes = input.toByteArray();
    const ProfileReader reader = ProfileReader::fromBytes(bytes);
    for (const QString& section : reader.sectionNames()) {
        for (const QString& key : reader.keyNames(section)) {
            const std::optional<QString> value = reader.value(section, key);
            if (!value) {
                return "a listed key cannot be read";
            }
            if (value->size() > ProfileReader::kMaxValueLength) {
                return "a value longer than the limit";
            }
            parseProfileInteger(*value, 0);
        }
    }
    if (ProfileReader::fromBytes(bytes).sectionNames() != reader.sectionNames()) {
        return "a second reading differs";
    }

    QFile file(scratchPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return {};  // nothing to check without the file
    }
    file.close();
    UpdateConfig config;
    config.openConfig(scratchPath);
    config.loadLanguageCatalog();
    const LanguageCatalog& catalog = config.languageCatalog();
    if (catalog.count < 0 || catalog.count > LanguageCatalog::kSlots) {
        return "catalogue count out of its slots";
    }
    for (int i = 0; i < catalog.count; ++i) {
        const LanguageEntry& entry = catalog.entries[i];
        if (entry.code < 0 || entry.key != entry.key.trimmed() || entry.nameRu.isEmpty() ||
            entry.nameEn.isEmpty()) {
            return "an invalid catalogue entry was kept";
        }
        if (catalog.findLanguageByCode(entry.code) == nullptr ||
            catalog.findLanguageByName(entry.key) == nullptr) {
            return "a catalogue entry cannot be found";
        }
    }
    ActivityLog log;
    for (const auto& [name, packets] : config.languageSets()) {
        const LanguagePackets found = config.packetsForLanguageSet(name, log);
        if (found.ok != !found.packets.isEmpty() || found.sections.size() != found.packets.size()) {
            return "packet lists disagree";
        }
        for (const QString& packet : found.packets) {
            if (packet.isEmpty() || packet.contains(u',')) {
                return "an empty or joined packet name";
            }
        }
        if (!found.packets.isEmpty()) {
            config.selectLanguagePacket(found.packets.front());
        }
    }
    return {};
}

}  // namespace verimant::fuzz
