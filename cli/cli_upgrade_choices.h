#pragma once

#include "update/busy_view.h"
#include "update/device_language_chooser.h"
#include "update/packet_chooser.h"

#include <QString>

namespace verimant::cli {

class TerminalDialogs;

// The packet choice on the command line: the packet --packet names, the only one offered, or the
// operator's answer on the terminal. Without a terminal and with several packets, the run stops
// before the firmware set is fetched.
class CliPacketChooser final : public PacketChooser {
public:
    CliPacketChooser(QString requested, TerminalDialogs& dialogs)
        : requested_(std::move(requested)), dialogs_(dialogs) {}

    void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                  int& slot) override;

private:
    int choose(const UpdateConfig& config, const QStringList& packets);

    QString requested_;
    TerminalDialogs& dialogs_;
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

private:
    int choose(const LanguageCatalog& catalog, int currentCode);

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

}  // namespace verimant::cli
