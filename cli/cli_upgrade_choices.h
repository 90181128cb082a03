#pragma once

#include "update/busy_view.h"
#include "update/device_language_chooser.h"
#include "update/packet_chooser.h"

#include <QString>

namespace verimant::cli {

class TerminalDialogs;

// The packet choice on the command line: the packet --packet names, the only one offered, or the
// operator's answer on the terminal. Without a terminal and with several packets, the run stops
// before the firmware set is fetched. Each such stop says why and answers kPacketChoiceRefused:
// nobody cancelled. A --language that the chosen packet does not carry stops it
// there too: the instrument could not be given that language after both files were written.
class CliPacketChooser final : public PacketChooser {
public:
    CliPacketChooser(QString requested, QString language, TerminalDialogs& dialogs)
        : requested_(std::move(requested)), language_(std::move(language)), dialogs_(dialogs) {}

    void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                  int& slot) override;

    // True when the choice was cancelled because of --language.
    bool languageRefused() const { return languageRefused_; }
    // True when several packets were offered, no --packet chose one and no terminal could ask.
    bool unanswered() const { return unanswered_; }

private:
    int choose(const UpdateConfig& config, const QStringList& packets);
    bool packetHasLanguage(const UpdateConfig& config, const QString& packet);

    QString requested_;
    QString language_;
    TerminalDialogs& dialogs_;
    bool languageRefused_ = false;
    bool unanswered_ = false;
};

// The instrument's display language on the command line: --language as a catalogue key or code
// of the packet's languages, else the operator's answer on the terminal; without a terminal the
// instrument keeps its language.
class CliLanguageChooser final : public DeviceLanguageChooser {
public:
    CliLanguageChooser(QString requested, TerminalDialogs& dialogs)
        : requested_(std::move(requested)), dialogs_(dialogs) {}

    void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                  int& slot) override;

    // The catalogue key of the language chosen for the instrument; empty while none was.
    QString chosenKey() const { return chosenKey_; }

private:
    int choose(const LanguageCatalog& catalog, int currentCode);

    QString chosenKey_;
    QString requested_;
    TerminalDialogs& dialogs_;
};

// The log and the progress lines already show that the tool works; the terminal needs no sign.
class QuietBusyView final : public BusyView {
public:
    void ShowBusy(int) override {}
    void HideBusy() override {}
};

// Whether `text` names a language of the catalogue by key (any letter case) or code; verimant-cli
// refuses anything else before it touches the instrument.
bool catalogHasLanguage(const LanguageCatalog& catalog, const QString& text);

// The catalogue codes of `packet`'s languages as the device-language choice would offer them.
QList<int> packetLanguageCodes(const UpdateConfig& config, const QString& packet);

// Why --language `language` can never be set by this configuration: it is in none of its packets,
// or (with --packet) not in that packet. Empty when it may be, or when the packet is not the
// configuration's (the packet choice refuses that). Needs the configuration and its catalogue only,
// so it is asked before the instrument is read or anything is downloaded for it.
QString languageOutsidePackets(const UpdateConfig& config, const QString& language,
                               const QString& packet);

}  // namespace verimant::cli
