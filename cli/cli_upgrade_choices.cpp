#include "cli/cli_upgrade_choices.h"

#include "base/file_helpers.h"
#include "base/ui_language.h"
#include "cli/terminal_dialogs.h"
#include "update/update_config.h"

namespace verimant::cli {

namespace {

// The position of `answer` in `names`, given as a number counted from 1 or as the name itself
// (any letter case); -1 when it is neither.
int positionOf(const QString& answer, const QStringList& names) {
    bool isNumber = false;
    const int number = answer.toInt(&isNumber);
    if (isNumber) {
        return number >= 1 && number <= names.size() ? number - 1 : -1;
    }
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(answer, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QString numberedList(const QStringList& items) {
    QStringList lines;
    for (int i = 0; i < items.size(); ++i) {
        lines << QStringLiteral("%1) %2").arg(i + 1).arg(items[i]);
    }
    return lines.join(QStringLiteral(", "));
}

QString packetDisplayName(const UpdateConfig& config, const QString& packet) {
    const QString section = QString::fromLatin1(kLanguageSectionPrefix) + packet;
    const QString name =
        PickText(config.readString(section, QStringLiteral("NAME_L1"), QStringLiteral("???")),
                 config.readString(section, QStringLiteral("NAME_L2"), QStringLiteral("???")));
    return name + QStringLiteral(" [") + packet + QLatin1Char(']');
}

// The catalogue entry `text` names by code or key, or nullptr.
const LanguageEntry* languageNamed(const LanguageCatalog& catalog, const QString& text) {
    bool isNumber = false;
    const int code = text.toInt(&isNumber);
    return isNumber ? catalog.findLanguageByCode(code) : catalog.findLanguageByName(text.trimmed());
}

}  // namespace

void CliPacketChooser::OpenLanguagePacketDialog(const UpdateConfig& config,
                                                const QStringList& packets, int& slot) {
    slot = packets.isEmpty() ? kPacketChoiceCancelled : choose(config, packets);
    if (slot >= 0 && !packetHasLanguage(config, packets.at(slot))) {
        languageRefused_ = true;
        slot = kPacketChoiceRefused;
    }
}

bool CliPacketChooser::packetHasLanguage(const UpdateConfig& config, const QString& packet) {
    if (language_.isEmpty()) {
        return true;
    }
    const LanguageEntry* entry = languageNamed(config.languageCatalog(), language_);
    if (entry != nullptr && packetLanguageCodes(config, packet).contains(entry->code)) {
        return true;
    }
    const QString section = QString::fromLatin1(kLanguageSectionPrefix) + packet;
    dialogs_.showError(
        QStringLiteral("--language %1 is none of the languages of the packet %2 "
                       "(%3): nothing was written")
            .arg(language_, packet, config.readString(section, QStringLiteral("LANG_LIST"))));
    return false;
}

int CliPacketChooser::choose(const UpdateConfig& config, const QStringList& packets) {
    if (!requested_.isEmpty()) {
        // Packet names are the configuration's keys; they are matched as written.
        const int position = int(packets.indexOf(requested_));
        if (position < 0) {
            dialogs_.showError(QStringLiteral("the packet '%1' is not offered for this instrument; "
                                              "offered: %2")
                                   .arg(requested_, packets.join(QStringLiteral(", "))));
            return kPacketChoiceRefused;
        }
        return position;
    }
    if (packets.size() == 1) {
        return 0;
    }
    QStringList names;
    for (const QString& packet : packets) {
        names << packetDisplayName(config, packet);
    }
    QString answer;
    if (!dialogs_.askText(QStringLiteral("Language packet"),
                          numberedList(names) + QStringLiteral(" (number or packet name)"),
                          answer)) {
        dialogs_.showError(QStringLiteral("several packets are offered (%1): choose one with "
                                          "--packet NAME")
                               .arg(packets.join(QStringLiteral(", "))));
        unanswered_ = true;
        return kPacketChoiceRefused;
    }
    const int position =
        positionOf(answer, packets) >= 0 ? positionOf(answer, packets) : positionOf(answer, names);
    if (position < 0) {
        dialogs_.showError(QStringLiteral("'%1' is none of the offered packets").arg(answer));
        return kPacketChoiceRefused;
    }
    return position;
}

void CliLanguageChooser::OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                                  int& slot) {
    slot = hasLanguageChoice(catalog, currentCode) ? choose(*catalog, currentCode)
                                                   : kDeviceLanguageCancelled;
}

int CliLanguageChooser::choose(const LanguageCatalog& catalog, int currentCode) {
    const OfferedLanguages offered = offeredLanguages(catalog, currentCode);
    QStringList items;
    for (int i = 0; i < offered.codes.size(); ++i) {
        const LanguageEntry* entry = catalog.findLanguageByCode(offered.codes[i]);
        items << QStringLiteral("%1 (%2) %3")
                     .arg(entry != nullptr ? entry->key : QString())
                     .arg(offered.codes[i])
                     .arg(offered.names[i]);
    }
    QString answer = requested_;
    if (answer.isEmpty() &&
        !dialogs_.askText(QStringLiteral("Instrument language"),
                          items.join(QStringLiteral(", ")) + QStringLiteral(" (key or code)"),
                          answer)) {
        dialogs_.showInformation(
            QStringLiteral("no terminal to ask: the instrument keeps its language (use "
                           "--language)"));
        return kDeviceLanguageCancelled;
    }
    const LanguageEntry* entry = languageNamed(catalog, answer);
    const int position = entry != nullptr ? int(offered.codes.indexOf(entry->code)) : -1;
    if (position < 0) {
        dialogs_.showError(QStringLiteral("'%1' is none of this packet's languages (%2): the "
                                          "instrument keeps its language")
                               .arg(answer, items.join(QStringLiteral(", "))));
        return kDeviceLanguageCancelled;
    }
    chosenKey_ = entry->key;
    return languageChoiceResult(offered, position);
}

bool catalogHasLanguage(const LanguageCatalog& catalog, const QString& text) {
    return languageNamed(catalog, text) != nullptr;
}

// Read here as selectLanguagePacket reads it, so the check sees what the choice will offer.
QList<int> packetLanguageCodes(const UpdateConfig& config, const QString& packet) {
    const QString list = config.readString(QString::fromLatin1(kLanguageSectionPrefix) + packet,
                                           QStringLiteral("LANG_LIST"));
    QStringList keys;
    splitText(list, u',', keys);
    QList<int> codes;
    for (const QString& key : keys) {
        const LanguageEntry* entry = config.languageCatalog().findLanguageByName(key);
        if (entry == nullptr) {
            break;
        }
        codes.append(entry->code);
    }
    return codes;
}

QString languageOutsidePackets(const UpdateConfig& config, const QString& language,
                               const QString& packet) {
    const LanguageEntry* entry = languageNamed(config.languageCatalog(), language);
    QStringList packets;
    for (const auto& set : config.languageSets()) {
        for (const QString& name : set.second) {
            if (!packets.contains(name)) {
                packets << name;
            }
        }
    }
    if (entry == nullptr || (!packet.isEmpty() && !packets.contains(packet))) {
        return {};
    }
    const QStringList candidates = packet.isEmpty() ? packets : QStringList{packet};
    QStringList listed;
    for (const QString& name : candidates) {
        if (packetLanguageCodes(config, name).contains(entry->code)) {
            return {};
        }
        listed << name + QStringLiteral(": ") +
                      config.readString(QString::fromLatin1(kLanguageSectionPrefix) + name,
                                        QStringLiteral("LANG_LIST"));
    }
    return packet.isEmpty()
               ? QStringLiteral(
                     "--language %1 is in none of the configuration's packets (%2): "
                     "nothing was written")
                     .arg(language, listed.join(QStringLiteral("; ")))
               : QStringLiteral(
                     "--language %1 is none of the languages of the packet %2 (%3): "
                     "nothing was written")
                     .arg(language, packet, listed.value(0).section(QStringLiteral(": "), 1));
}

}  // namespace verimant::cli
