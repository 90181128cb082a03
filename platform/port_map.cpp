#include "platform/port_map.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace verimant {

namespace {

constexpr int kNoPort = 0;

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A system tty family and the first COM number it is given (docs/ports.md).
struct TtyFamily {
    const char* prefix;
    int firstNumber;
    int lastNumber;
};
constexpr TtyFamily kFamilies[] = {
    {"ttyS", 1, 99},
    {"ttyUSB", 100, 199},
    {"ttyACM", 200, kHighestPortNumber},
};

QString portsFolder() {
    return qEnvironmentVariable("VERIMANT_PORTS_DIR");
}

bool usePortsFolder() {
    return !portsFolder().isEmpty();
}

// Every folder entry counts as one slot, like one value of a system port list; entries that name
// no port leave their slot empty. Sorted by name so the order does not depend on the file system.
QFileInfoList folderEntries() {
    return QDir(portsFolder())
        .entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDir::Name);
}

int folderPortNumber(const QFileInfo& entry) {
    const QString name = entry.fileName();
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        return kNoPort;
    }
    return portNumberFromName(name);
}

// COM number of a system tty name such as "ttyUSB0", or kNoPort.
int systemPortNumber(const QString& ttyName) {
    static const QRegularExpression pattern(QStringLiteral("^(ttyS|ttyUSB|ttyACM)([0-9]{1,3})$"));
    const auto match = pattern.match(ttyName);
    if (!match.hasMatch()) {
        return kNoPort;
    }
    for (const TtyFamily& family : kFamilies) {
        if (match.captured(1) == QLatin1String(family.prefix)) {
            const int number = family.firstNumber + match.captured(2).toInt();
            return number <= family.lastNumber ? number : kNoPort;
        }
    }
    return kNoPort;
}

QString systemTtyName(int number) {
    for (const TtyFamily& family : kFamilies) {
        if (number >= family.firstNumber && number <= family.lastNumber) {
            return QLatin1String(family.prefix) + QString::number(number - family.firstNumber);
        }
    }
    return {};
}

// A tty in /sys/class/tty is a usable serial port when it has a device behind it; a ttyS must
// also have a UART (type 0 is the driver's placeholder for an absent one).
bool isSerialDevice(const QString& ttyDir, const QString& ttyName) {
    if (!QFileInfo::exists(ttyDir + QStringLiteral("/device"))) {
        return false;
    }
    if (!ttyName.startsWith(QLatin1String("ttyS"))) {
        return true;
    }
    QFile type(ttyDir + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly)) {
        return false;
    }
    return type.readAll().trimmed().toInt() != 0;
}

QList<int> systemPortNumbers() {
    const QString root = QStringLiteral("/sys/class/tty");
    QList<int> numbers;
    const QStringList names = QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const int number = systemPortNumber(name);
        if (number != kNoPort && isSerialDevice(root + '/' + name, name)) {
            numbers.append(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Port numbers in slot order; kNoPort for a slot that names no port.
QList<int> portSlots() {
    if (!usePortsFolder()) {
        return systemPortNumbers();
    }
    QList<int> portList;
    for (const QFileInfo& entry : folderEntries()) {
        portList.append(folderPortNumber(entry));
    }
    return portList;
}

}  // namespace

int portNumberFromName(const QString& name) {
    int end = int(name.size());
    while (end > 0 && !isAsciiDigit(name.at(end - 1))) {
        --end;
    }
    int begin = end;
    while (begin > 0 && isAsciiDigit(name.at(begin - 1))) {
        --begin;
    }
    if (begin == end) {
        return kNoPort;
    }
    bool ok = false;
    const qlonglong number = name.mid(begin, end - begin).toLongLong(&ok);
    if (!ok || number > std::numeric_limits<std::int32_t>::max()) {
        return kNoPort;
    }
    return int(number);
}

void enumeratePorts(PortEntry* entries, int& count) {
    if (entries == nullptr || count <= 0) {
        count = 0;
        return;
    }
    const QList<int> portList = portSlots();
    const int filled = std::min(count, int(portList.size()));
    for (int k = 0; k < filled; ++k) {
        const int number = portList[k];
        entries[k] = PortEntry{number == kNoPort ? PortEntry::kEmpty : number, 0};
    }
    count = filled;
}

void compactPortEntries(PortEntry* entries, int& count) {
    if (entries == nullptr || count <= 0) {
        count = 0;
        return;
    }
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const std::int32_t number = entries[i].portNumber;
        if (number == PortEntry::kEmpty) {
            continue;
        }
        for (int j = i + 1; j < count; ++j) {
            if (entries[j].portNumber == number) {
                entries[j].portNumber = PortEntry::kEmpty;
            }
        }
        entries[kept++] = entries[i];
    }
    // Slots behind the kept ones are emptied, so a later look at the array never finds a port
    // that has gone.
    for (int i = kept; i < count; ++i) {
        entries[i] = PortEntry{};
    }
    count = kept;
}

QString portDevicePath(int number) {
    if (number == kNoPort || number == PortEntry::kEmpty) {
        return {};
    }
    if (usePortsFolder()) {
        for (const QFileInfo& entry : folderEntries()) {
            if (folderPortNumber(entry) == number) {
                // Empty for a link whose target has gone: the port is not there.
                return entry.canonicalFilePath();
            }
        }
        return {};
    }
    const QString name = systemTtyName(number);
    if (name.isEmpty()) {
        return {};
    }
    const QString path = QStringLiteral("/dev/") + name;
    return QFileInfo::exists(path) ? path : QString();
}

}  // namespace verimant
