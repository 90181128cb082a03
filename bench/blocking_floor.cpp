#include "bench/blocking_floor.h"

#include "bench/figure_output.h"
#include "bench/sim_process.h"
#include "link/frame_codec.h"
#include "platform/port_map.h"
#include "platform/serial_device.h"

namespace verimant::bench {

namespace {

constexpr int kBaudRate = 230400;
constexpr int kChunk = 128;
constexpr int kSector = 4096;
constexpr int kAnswerTimeoutMs = 700;
// The instrument's external-flash requests, as the tool's command set sends them on its channel 2.
constexpr char kEflashGroup = 0x02;
constexpr char kEflashWrite = 0x03;
constexpr char kEflashErase4K = 0x05;
constexpr int kEflashChannel = 2;

QByteArray addressedRequest(char command, std::uint32_t address) {
    QByteArray body = nodeAddress(1) + nodeAddress(kEflashChannel);
    body.append(kEflashGroup);
    body.append(command);
    for (int shift = 0; shift < 32; shift += 8) {
        body.append(char((address >> shift) & 0xFF));
    }
    return body;
}

// Sends one request and reads until a whole frame has come back.
bool transactBlocking(SerialDevice& port, const QByteArray& body) {
    const std::optional<QByteArray> frame = encodeFrame(body);
    if (!frame) {
        return false;
    }
    const int length = int(frame->size());
    if (port.write(reinterpret_cast<const std::uint8_t*>(frame->constData()), length,
                   kAnswerTimeoutMs) != length) {
        return false;
    }
    FrameDecoder decoder;
    std::uint8_t buffer[256];
    for (;;) {
        const int waiting = port.bytesWaiting();
        const int got =
            port.read(buffer, waiting > 0 ? std::min(waiting, 256) : 1, kAnswerTimeoutMs);
        if (got <= 0) {
            return false;
        }
        for (int i = 0; i < got; ++i) {
            if (decoder.feed(buffer[i])) {
                return true;
            }
        }
    }
}

bool writeAll(SerialDevice& port, const QByteArray& data) {
    for (int offset = 0; offset < data.size(); offset += kChunk) {
        const auto address = std::uint32_t(offset);
        if (offset % kSector == 0 &&
            !transactBlocking(port, addressedRequest(kEflashErase4K, address))) {
            printProblem(QStringLiteral("floor: erasing at %1 got no answer").arg(offset));
            return false;
        }
        QByteArray body = addressedRequest(kEflashWrite, address);
        body.append(char(kChunk));
        body.append(data.mid(offset, kChunk));
        if (!transactBlocking(port, body)) {
            printProblem(QStringLiteral("floor: writing at %1 got no answer").arg(offset));
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<SpanFigures> blockingEflashWrites(const QString& portsDir, int port,
                                                const QByteArray& data) {
    SimProcess sim(portsDir, port, true);
    SerialDevice device;
    QString error;
    if (!sim.start(&error)) {
        printProblem(error);
        return std::nullopt;
    }
    if (!device.open(portDevicePath(port), kBaudRate)) {
        printProblem(QStringLiteral("floor: cannot open COM") + QString::number(port));
        return std::nullopt;
    }
    MeasuredSpan span;
    span.start();
    const bool done = writeAll(device, data);
    const SpanFigures figures = span.stop();
    device.close();
    sim.stop(&error);
    return done ? std::optional(figures) : std::nullopt;
}

}  // namespace verimant::bench
