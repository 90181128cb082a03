#pragma once

#include "base/ui_language.h"
#include "device/device_info.h"
#include "update/firmware_set.h"
#include "update/profile_reader.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace verimant {

class ActivityLog;

// One language the instrument can be set to, from the configuration's catalogue.
struct LanguageEntry {
    std::int32_t code = 0;  // the value of the instrument's LANGUAGE parameter
    QString key;            // the name packets list it by
    QString nameRu;
    QString nameEn;

    QString displayName(UiLanguage language) const;
};

// The catalogue of instrument languages, read once at start-up, and the packet chosen last.
struct LanguageCatalog {
    static constexpr int kSlots = 100;

    std::array<LanguageEntry, kSlots> entries{};
    int count = 0;
    QString currentPacket;
    QStringList currentLanguages;  // key names of the current packet, in file order

    void clear();
    // The first entry with this code, or nullptr.
    const LanguageEntry* findLanguageByCode(std::int32_t code) const;
    // The first entry whose key equals `name` without regard to case, or nullptr.
    const LanguageEntry* findLanguageByName(const QString& name) const;
};

// The packets offered for one language set, with their configuration sections
// ("LANGUAGE:" + packet) in the same order.
struct LanguagePackets {
    bool ok = false;
    QStringList packets;
    QStringList sections;
};

// The configuration's name on the update server.
inline constexpr char kConfigFileName[] = "verimant_version_3.ini";

// Section and key names of the configuration that more than one place reads.
inline constexpr char kProjectSection[] = "PROJECT_MANAGER";
inline constexpr char kSerialNumberSection[] = "SERIAL_NUMBER";
inline constexpr char kLanguagesSection[] = "LANGUAGES";
inline constexpr char kLanguageSectionPrefix[] = "LANGUAGE:";

// The update configuration the server publishes, opened from its downloaded copy for the whole
// run and never written. It also names instrument variants for the readout.
class UpdateConfig final : public ModelNameLookup {
public:
    // Binds to the local copy. Never fails: a missing or unreadable file makes every read give its
    // default. An empty path leaves the configuration closed.
    void openConfig(const QString& localPath);
    bool isOpen() const { return open_; }
    const QString& localPath() const { return path_; }
    // A signed configuration vouches for every file it names, so each must carry its SHA-256.
    void setSigned(bool isSigned) { signed_ = isSigned; }
    bool isSigned() const { return signed_; }
    // Whether the base fetched to `localPath` is the one BASE_SHA256 names; a signed
    // configuration must name it. Refusals are logged.
    bool baseMatches(const QString& serverName, const QString& localPath, ActivityLog& log) const;

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    std::int32_t readInteger(const QString& section, const QString& key,
                             std::int32_t defaultValue) const;
    const ProfileReader& profile() const { return profile_; }

    // SERIAL_NUMBER's value for the model key ("Y23"), empty when there is none.
    QString modelName(const QString& modelKey) const override;

    // Fills the catalogue from LANGUAGES; bad items are passed over silently.
    void loadLanguageCatalog();
    LanguageCatalog& languageCatalog() { return catalog_; }
    const LanguageCatalog& languageCatalog() const { return catalog_; }

    // The packets of the set named exactly `setName` (case counts). An empty list logs the error
    // line and fails.
    LanguagePackets packetsForLanguageSet(const QString& setName, ActivityLog& log) const;
    // Every LANG_SET_ value as (set name, packets), for listings; values without ':' are passed
    // over.
    QList<std::pair<QString, QStringList>> languageSets() const;

    // Makes `packet` current and reads its language list.
    void selectLanguagePacket(const QString& packet);

    FirmwareSet& firmwareSet() { return firmwareSet_; }
    const FirmwareSet& firmwareSet() const { return firmwareSet_; }

private:
    // The numbers k, 1 to `count` and ascending, for which a LANG_SET_<k> key exists.
    QList<std::int32_t> languageSetNumbers(std::int32_t count) const;

    bool open_ = false;
    bool signed_ = false;
    QString path_;
    ProfileReader profile_;
    LanguageCatalog catalog_;
    FirmwareSet firmwareSet_;
};

}  // namespace verimant
