#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace verimant {

// Files larger than this are refused: the instrument has no use for them.
inline constexpr qint64 kMaxWholeFileSize = 0x4000000;

// Reads a whole file. Interactive calls show their Russian error box on failure and, with an empty
// path, let the user choose a file; a cancelled choice gives success with no data (callers treat
// missing data as failure). Non-interactive calls are silent.
struct WholeFile {
    bool ok = false;
    std::optional<QByteArray> data;
};
WholeFile readWholeFile(const QString& path, bool interactive);

// Writes a whole file. An existing file is replaced, after a Yes/No question when the call is
// interactive and overwriteSilently is off (No: success without writing).
bool writeWholeFile(const QString& path, const QByteArray& bytes, bool overwriteSilently,
                    bool interactive);

// 0 when missing or unreadable.
qint64 fileSize(const QString& path);

// Waits while the event loop keeps running (timers, user actions); returns at once for ms <= 0.
void waitMs(int ms);

// The system's temporary folder, or empty text.
QString temporaryFolder();

// Deletes the files of `folder` that match `mask` (for example "*"); failures are ignored.
void emptyFolder(const QString& folder, const QString& mask = QStringLiteral("*"));

// Splits at `separator`; the first NUL, CR or LF ends the text. Non-empty pieces are appended to
// `pieces`; the result counts every piece met, empty ones included.
int splitText(const QString& text, QChar separator, QStringList& pieces);

// 0..15 for a hexadecimal digit, including the Cyrillic look-alikes А а В С с Е е; 255 otherwise.
std::uint8_t hexDigitValue(QChar c);

}  // namespace verimant
