#pragma once

namespace verimant {

// The two link flags the connection manager publishes and the rest of the tool reads or writes:
// whether an instrument answers on the open port, and whether the periodic link test may send.
// The firmware writers clear linkCheckEnabled so that no echo test interleaves with a transfer;
// mode switching clears deviceConnected after a RESET and waits for the manager to set it again.
struct LinkFlags {
    bool deviceConnected = false;
    bool linkCheckEnabled = true;
};

}  // namespace verimant
