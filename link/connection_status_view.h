#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// The three link states the status bar shows.
enum class LinkState { Ok, Err, Nok };

// Where the connection manager shows the link: the window's Panel_Connection (text on a coloured
// background) and Panel_COM (the port in use). Colours come as 0x00BBGGRR, blue in the high byte.
class ConnectionStatusView {
public:
    virtual ~ConnectionStatusView() = default;

    virtual void showConnectionState(LinkState state, const QString& text,
                                     std::uint32_t bgrColour) = 0;
    virtual void showComText(const QString& text) = 0;
};

}  // namespace verimant
