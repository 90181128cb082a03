#pragma once

#include "device/board_record.h"
#include "link/device_records.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace verimant {

// The texts that the log, the window, the server folders and the serial-number base use for what
// the instrument reports. All pure.

// "M.m" in decimal without leading zeros: 0x0105 gives "1.5".
QString versionText(std::uint16_t version);
// The 12 bytes as upper-case hexadecimal pairs joined by ":".
QString uidText(const ProcessorUid& uid);
// "1-23-45678"; nibbles above 9 show as letters.
QString serialText(const BoardRecord& record);
// The same eight characters without dashes: the key into the serial-number base.
QString serialDigits(const BoardRecord& record);
// "Y" + the decimal value of digits 1 and 2 ("Y5" for 0 and 5): the key of the model name.
QString modelKey(const BoardRecord& record);
// The board number of a board type code, nothing for codes outside the table.
std::optional<int> boardNumber(int boardTypeCode);
// "TRV-278.2", or "UNKNOWN" without a board number.
QString boardText(const BoardRecord& record);
// "(1:2)", or the "F4:L=" forms of board type 1 with assembling code 1 equal to 1.
QString assemblingText(const BoardRecord& record);

}  // namespace verimant
