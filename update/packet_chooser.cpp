#include "update/packet_chooser.h"

#include "platform/event_wait.h"

namespace verimant {

namespace {

// A user may take as long as they like; the wait is only cut into rounds.
constexpr int kWaitRoundMs = 60000;

}  // namespace

int choosePacket(PacketChooser& chooser, const UpdateConfig& config, const QStringList& packets) {
    int slot = kPacketChoicePending;
    chooser.OpenLanguagePacketDialog(config, packets, slot);
    while (!pumpEventsUntil([&slot] { return slot != kPacketChoicePending; }, kWaitRoundMs)) {
    }
    return slot;
}

}  // namespace verimant
