#pragma once

#include <functional>

namespace verimant {

// What an outcome was about; the numbers are the ones the update-server client keys its result
// flag on.
enum class FtpOperation : int {
    ChangeFolder = 0,
    CreateFolder = 1,
    Delete = 2,
    RemoveFolder = 3,
    Retrieve = 9,
    Append = 10,
    OtherCommand = 14,
    PrintFolder = 15,
};

// Outcomes as callbacks, bound by the update-server client. onFailure reports what the server
// refused, or what broke inside a transfer, with the operation's kind; a failure that is not of
// an operation (no connection, a refused login, a certificate that does not check) only makes the
// operation return false.
struct TransferEvents {
    std::function<void(FtpOperation)> onSuccess;
    std::function<void(FtpOperation)> onFailure;
    // The server refused the account or its password.
    std::function<void()> onAuthenticationFailed;
    std::function<void()> onPacketRecvd;
    std::function<void()> onPacketSent;
};

}  // namespace verimant
