#include "bench/faults/write_set.h"

#include "sim/instrument.h"

#include <QStringList>

#include <random>

namespace verimant::faults {

namespace {

constexpr int kProcessorType = 3;  // 2 KiB pages, erased flash reads 0xFF
constexpr std::uint32_t kRegionLength = 2048;
constexpr int kFirmwareLength = 1500;
// Not a whole number of sectors: both writers' ways of erasing agree on such a file. Three
// sectors, so that the one holding the version lies between others and a cut can fall after it
// in address order.
constexpr int kDataImageLength = 9000;
constexpr int kRecordBytes = 16;
// Where the tool finds the data version: entry 1 of the directory at 0x1000 names the sector of the
// text and its length; the text lies 64 bytes into that sector. Sector 1 keeps it inside the image.
constexpr qsizetype kVersionEntry = 0x1010;
constexpr std::uint16_t kVersionSector = 1;
constexpr qsizetype kVersionTextAt = 0x1000 * kVersionSector + 64;
// The marker the simulator takes the running firmware's version from.
const QByteArray kFirmwareMarker = QByteArrayLiteral("KMT2 SWEEP FIRMWARE 3.02");
constexpr qsizetype kFirmwareMarkerAt = 0x100;

QByteArray randomBytes(int count, std::mt19937& engine) {
    QByteArray bytes(count, '\0');
    for (char& byte : bytes) {
        byte = char(engine() & 0xFF);
    }
    return bytes;
}

QByteArray hexRecord(int type, std::uint16_t offset, const QByteArray& data) {
    QByteArray body;
    body.append(char(data.size()));
    body.append(char(offset >> 8));
    body.append(char(offset & 0xFF));
    body.append(char(type));
    body.append(data);
    std::uint8_t sum = 0;
    for (char byte : body) {
        sum = std::uint8_t(sum + std::uint8_t(byte));
    }
    body.append(char(std::uint8_t(-sum)));
    return ':' + body.toHex().toUpper() + "\r\n";
}

void erase(QByteArray& flash, std::uint32_t from, std::uint32_t to, std::uint32_t unit) {
    for (std::uint32_t at = from - from % unit; at < to; at += unit) {
        flash.replace(qsizetype(at), unit, QByteArray(unit, char(0xFF)));
    }
}

// The boot loader's sum over the region before the checksum word, for an image of erased 0xFF.
std::uint32_t regionChecksum(const QByteArray& flash, std::uint32_t start, std::uint32_t end) {
    std::uint32_t sum = 0;
    for (std::uint32_t offset = start; offset < end; ++offset) {
        sum += std::uint32_t(std::uint8_t(flash[qsizetype(offset)])) << (offset % 8);
    }
    return sum;
}

// The data version record, so that the instrument reads as carrying the set's data version once
// the image is written, as the next readout expects.
void placeDataVersion(QByteArray& image) {
    QByteArray entry(16, '\0');
    entry[2] = char(kVersionSector & 0xFF);
    entry[3] = char(kVersionSector >> 8);
    entry[6] = char(kDataVersionText.size());
    image.replace(kVersionEntry, entry.size(), entry);
    const QByteArray text = kDataVersionText + '\0';
    image.replace(kVersionTextAt, text.size(), text);
}

int countDifferences(const QByteArray& a, const QByteArray& b, qsizetype* first) {
    int count = 0;
    *first = -1;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i]) {
            if (*first < 0) {
                *first = i;
            }
            ++count;
        }
    }
    return count;
}

QString describe(const char* name, const QByteArray& expected, const QByteArray& actual,
                 std::uint32_t base) {
    if (expected.size() != actual.size()) {
        return QStringLiteral("%1 flash holds %2 bytes, not %3")
            .arg(QLatin1String(name))
            .arg(actual.size())
            .arg(expected.size());
    }
    qsizetype first = -1;
    const int count = countDifferences(expected, actual, &first);
    if (count == 0) {
        return {};
    }
    return QStringLiteral("%1 flash differs in %2 bytes, first at 0x%3")
        .arg(QLatin1String(name))
        .arg(count)
        .arg(base + std::uint32_t(first), 8, 16, QLatin1Char('0'));
}

}  // namespace

WriteSet smallWriteSet(unsigned seed) {
    WriteSet set;
    std::mt19937 engine(seed);
    set.instrument.processorType = kProcessorType;
    const sim::Instrument factory(set.instrument);
    set.firmwareAddress = factory.layout().mainFirmwareStart;
    set.instrument.checksumWordAddress = set.firmwareAddress + kRegionLength - 4;
    set.firmware = randomBytes(kFirmwareLength, engine);
    set.firmware.replace(kFirmwareMarkerAt, kFirmwareMarker.size() + 1, kFirmwareMarker + '\0');
    set.dataImage = randomBytes(kDataImageLength, engine);
    placeDataVersion(set.dataImage);
    return set;
}

QByteArray hexRecordText(const QByteArray& bytes, std::uint32_t address) {
    QByteArray text;
    int upper = -1;
    for (qsizetype done = 0; done < bytes.size(); done += kRecordBytes) {
        const std::uint32_t at = address + std::uint32_t(done);
        if (int(at >> 16) != upper) {
            upper = int(at >> 16);
            text += hexRecord(0x04, 0, QByteArray(1, char(upper >> 8)) + char(upper & 0xFF));
        }
        text += hexRecord(0x00, std::uint16_t(at & 0xFFFF), bytes.mid(done, kRecordBytes));
    }
    return text + hexRecord(0x01, 0, {});
}

ExpectedFlashes expectedFlashes(const WriteSet& set) {
    const sim::Instrument factory(set.instrument);
    ExpectedFlashes expected;
    expected.processor = factory.processorFlash().bytes();
    expected.processorBase = factory.processorFlash().base();
    const std::uint32_t base = expected.processorBase;
    const std::uint32_t start = factory.layout().mainFirmwareStart - base;
    const std::uint32_t checksumAt = factory.layout().checksumWordAddress - base;
    erase(expected.processor, start, checksumAt + 4, factory.layout().geometry.pageSize);
    expected.processor.replace(set.firmwareAddress - base, set.firmware.size(), set.firmware);
    const std::uint32_t sum = regionChecksum(expected.processor, start, checksumAt);
    for (int i = 0; i < 4; ++i) {
        expected.processor[qsizetype(checksumAt) + i] = char((sum >> (8 * i)) & 0xFF);
    }

    expected.external = factory.externalFlash().bytes();
    erase(expected.external, 0, std::uint32_t(set.dataImage.size()), sim::kExternalFlashSector);
    expected.external.replace(0, set.dataImage.size(), set.dataImage);
    return expected;
}

bool firmwareWhole(const ExpectedFlashes& expected, const WriteSet& set,
                   const QByteArray& processor) {
    const sim::Instrument factory(set.instrument);
    const qsizetype start = factory.layout().mainFirmwareStart - expected.processorBase;
    const qsizetype end = factory.layout().checksumWordAddress + 4 - expected.processorBase;
    return processor.mid(start, end - start) == expected.processor.mid(start, end - start);
}

bool dataImageWhole(const ExpectedFlashes& expected, const WriteSet& set,
                    const QByteArray& external) {
    const qsizetype length = set.dataImage.size();
    return external.left(length) == expected.external.left(length);
}

QString flashDifference(const ExpectedFlashes& expected, const QByteArray& processor,
                        const QByteArray& external) {
    QStringList problems;
    for (const QString& problem :
         {describe("processor", expected.processor, processor, expected.processorBase),
          describe("external", expected.external, external, 0)}) {
        if (!problem.isEmpty()) {
            problems << problem;
        }
    }
    return problems.join(QStringLiteral("; "));
}

}  // namespace verimant::faults
