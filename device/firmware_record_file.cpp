#include "device/firmware_record_file.h"

#include "base/user_dialogs.h"
#include "device/flash_image.h"
#include "device/hex_record_parser.h"
#include "platform/cp1251.h"

namespace verimant {

namespace {

enum class LineOutcome { Continue, Finished, Failed };

bool isLineEnd(char byte) {
    return static_cast<unsigned char>(byte) < 0x20;
}

LineOutcome placeData(HexRecordParser& parser, std::span<std::uint8_t> image,
                      RecordFileResult& result) {
    const qint64 offset = qint64{parser.dataAddress()} - qint64{kFlashImageBase};
    const qint64 usable = static_cast<qint64>(image.size()) - kFlashImageTailReserve;
    if (offset < 0 || offset + parser.dataLength() > usable) {
        result.errorBoxes << parser.messageFor(
            QStringLiteral("Выход адреса-длины за пределы носителя"));
        return LineOutcome::Failed;
    }
    parser.copyData(image.subspan(static_cast<size_t>(offset)));
    return LineOutcome::Continue;
}

LineOutcome readLine(HexRecordParser& parser, const QString& line, std::span<std::uint8_t> image,
                     RecordFileResult& result) {
    if (parser.parseLine(line) != 1) {
        return LineOutcome::Failed;
    }
    switch (parser.interpretAsData()) {
        case 1:
            return placeData(parser, image, result);
        case 0:
            return LineOutcome::Failed;
        default:
            break;
    }
    int status = parser.interpretAsAddress();
    if (status == -1) {
        status = parser.interpretAsStart();
    }
    if (status != -1) {
        return status == 1 ? LineOutcome::Continue : LineOutcome::Failed;
    }
    switch (parser.interpretAsEnd()) {
        case 1:
            result.endRecordSeen = true;
            return LineOutcome::Finished;
        case 0:
            return LineOutcome::Failed;
        default:
            break;
    }
    // Segment records (02, 03) and anything newer are reported but do not stop the file: the
    // boot loader needs only the linear-address records.
    result.errorBoxes << parser.messageFor(QStringLiteral("Неизвестная команда"));
    return LineOutcome::Continue;
}

}  // namespace

RecordFileResult buildImageFromRecords(QByteArrayView contents, std::span<std::uint8_t> image) {
    RecordFileResult result;
    HexRecordParser parser;
    LineOutcome outcome = LineOutcome::Continue;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= contents.size() && outcome == LineOutcome::Continue; ++i) {
        if (i < contents.size() && !isLineEnd(contents[i])) {
            continue;
        }
        if (i > lineStart) {
            const QByteArray bytes = contents.sliced(lineStart, i - lineStart).toByteArray();
            outcome = readLine(parser, decodeCp1251(bytes), image, result);
        }
        lineStart = i + 1;
    }
    result.linesRead = parser.lineNumber();
    if (parser.failed()) {
        result.errorBoxes << parser.errorMessage();
    }
    result.ok = outcome != LineOutcome::Failed;
    return result;
}

bool buildFlashImage(QByteArrayView contents, QByteArray& image) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    const RecordFileResult result =
        buildImageFromRecords(contents, {bytes, static_cast<size_t>(image.size())});
    for (const QString& text : result.errorBoxes) {
        userDialogs().showError(text);
    }
    return result.ok;
}

}  // namespace verimant
