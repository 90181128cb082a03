#include "device/firmware_record_file.h"

#include "base/user_dialogs.h"
#include "device/flash_image.h"
#include "device/hex_record_parser.h"
#include "platform/cp1251.h"

namespace verimant {

namespace {

enum class LineOutcome { Continue, Finished, Failed };

constexpr std::uint8_t kSegmentAddressType = 0x02;

// What the reading of one file keeps between lines.
struct ReadState {
    std::span<std::uint8_t> image;
    std::optional<FirmwareRegion> region;
    RecordFileResult& result;
    // A segment record came and no linear address record since: data now would land elsewhere
    // than the file means.
    bool segmentAddressPending = false;
    bool dataInRegion = false;
};

bool isLineEnd(char byte) {
    return static_cast<unsigned char>(byte) < 0x20;
}

LineOutcome refuse(HexRecordParser& parser, RecordFileResult& result, const QString& text) {
    result.errorBoxes << parser.messageFor(text);
    result.failure = text;
    result.failedLine = parser.lineNumber();
    return LineOutcome::Failed;
}

LineOutcome placeData(HexRecordParser& parser, ReadState& state) {
    if (state.segmentAddressPending) {
        return refuse(parser, state.result, QStringLiteral("{DATA}-адрес задан записью 02"));
    }
    const qint64 offset = qint64{parser.dataAddress()} - qint64{kFlashImageBase};
    const qint64 usable = static_cast<qint64>(state.image.size()) - kFlashImageTailReserve;
    const qint64 end = offset + parser.dataLength();
    if (offset < 0 || end > usable) {
        return refuse(parser, state.result,
                      QStringLiteral("Выход адреса-длины за пределы носителя"));
    }
    if (state.region) {
        if (end > state.region->checksumOffset) {
            return refuse(parser, state.result,
                          QStringLiteral("Данные заходят на слово контрольной суммы"));
        }
        state.dataInRegion = state.dataInRegion || end > state.region->start;
    }
    parser.copyData(state.image.subspan(static_cast<size_t>(offset)));
    return LineOutcome::Continue;
}

LineOutcome readLine(HexRecordParser& parser, const QString& line, ReadState& state) {
    if (parser.parseLine(line) != 1) {
        return LineOutcome::Failed;
    }
    switch (parser.interpretAsData()) {
        case 1:
            return placeData(parser, state);
        case 0:
            return LineOutcome::Failed;
        default:
            break;
    }
    int status = parser.interpretAsAddress();
    if (status == 1) {
        state.segmentAddressPending = false;
    }
    if (status == -1) {
        status = parser.interpretAsStart();
    }
    if (status != -1) {
        return status == 1 ? LineOutcome::Continue : LineOutcome::Failed;
    }
    switch (parser.interpretAsEnd()) {
        case 1:
            state.result.endRecordSeen = true;
            return LineOutcome::Finished;
        case 0:
            return LineOutcome::Failed;
        default:
            break;
    }
    // Segment records (02, 03) and anything newer are reported but do not stop the file: the
    // boot loader needs only the linear-address records. Data after a segment address, though,
    // cannot be placed where the file means it.
    if (parser.recordType() == kSegmentAddressType) {
        state.segmentAddressPending = true;
    }
    state.result.errorBoxes << parser.messageFor(QStringLiteral("Неизвестная команда"));
    return LineOutcome::Continue;
}

// The checks on the file as a whole, once its lines were read without an error.
LineOutcome checkWholeFile(HexRecordParser& parser, const ReadState& state) {
    if (parser.lineNumber() == 0) {
        return refuse(parser, state.result, QStringLiteral("Файл пуст"));
    }
    if (!state.result.endRecordSeen) {
        return refuse(parser, state.result, QStringLiteral("{END}-нет записи конца файла"));
    }
    if (state.region && !state.dataInRegion) {
        return refuse(parser, state.result, QStringLiteral("Нет данных для области ПО"));
    }
    return LineOutcome::Finished;
}

}  // namespace

RecordFileResult buildImageFromRecords(QByteArrayView contents, std::span<std::uint8_t> image,
                                       std::optional<FirmwareRegion> region) {
    RecordFileResult result;
    ReadState state{image, region, result};
    HexRecordParser parser;
    LineOutcome outcome = LineOutcome::Continue;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= contents.size() && outcome == LineOutcome::Continue; ++i) {
        if (i < contents.size() && !isLineEnd(contents[i])) {
            continue;
        }
        if (i > lineStart) {
            const QByteArray bytes = contents.sliced(lineStart, i - lineStart).toByteArray();
            outcome = readLine(parser, decodeCp1251(bytes), state);
        }
        lineStart = i + 1;
    }
    result.linesRead = parser.lineNumber();
    if (parser.failed()) {
        result.errorBoxes << parser.errorMessage();
        result.failure = parser.errorText();
        result.failedLine = parser.lineNumber();
    } else if (outcome != LineOutcome::Failed) {
        outcome = checkWholeFile(parser, state);
    }
    result.ok = outcome != LineOutcome::Failed;
    return result;
}

bool buildFlashImage(QByteArrayView contents, QByteArray& image,
                     std::optional<FirmwareRegion> region) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    const RecordFileResult result =
        buildImageFromRecords(contents, {bytes, static_cast<size_t>(image.size())}, region);
    for (const QString& text : result.errorBoxes) {
        userDialogs().showError(text);
    }
    return result.ok;
}

}  // namespace verimant
