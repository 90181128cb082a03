#pragma once

#include <QStringList>

namespace verimant {

class UpdateConfig;

// The result slot's value while the packet choice is open, and its value after a cancel.
inline constexpr int kPacketChoicePending = -2;
inline constexpr int kPacketChoiceCancelled = -1;
// The chooser itself turned the choice down and has said why (a packet it was told to take is not
// offered): nobody cancelled anything.
inline constexpr int kPacketChoiceRefused = -3;

// How the upgrade lets the user pick one of the language packets offered for the instrument. The
// window answers with its language-packet dialog, the command-line tool from its option, tests
// from a script.
class PacketChooser {
public:
    virtual ~PacketChooser() = default;

    // Offers `packets` (packet names in the configuration's order; their display names and
    // descriptions are read from `config`) and returns at once. `slot` stays
    // kPacketChoicePending while the choice is open, then becomes the chosen position in `packets`
    // or kPacketChoiceCancelled (or kPacketChoiceRefused). An empty list is answered with
    // kPacketChoiceCancelled at once. `config` and `slot` must stay alive until the slot has
    // changed.
    virtual void OpenLanguagePacketDialog(const UpdateConfig& config, const QStringList& packets,
                                          int& slot) = 0;
};

// Opens the choice and waits, with the event loop running so the window stays alive, until it is
// answered: the chosen position in `packets`, or kPacketChoiceCancelled.
int choosePacket(PacketChooser& chooser, const UpdateConfig& config, const QStringList& packets);

}  // namespace verimant
