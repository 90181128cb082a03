#include "cli/firmware_file_check.h"

#include "device/firmware_record_file.h"
#include "device/flash_image.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace verimant::cli {

namespace {

// Larger than any instrument's flash: the file is checked for its records here, and against the
// instrument's own flash only once the instrument is read.
constexpr int kScratchFlashBytes = 4 * 1024 * 1024;
constexpr int kExcerptCharacters = 40;

// Whether `path` names a regular file this user can read; the problem otherwise.
QString fileProblem(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists()) {
        return QStringLiteral("the file %1 does not exist").arg(path);
    }
    if (file.isDir()) {
        return QStringLiteral("%1 is a folder, not a file").arg(path);
    }
    if (!file.isFile()) {
        return QStringLiteral("%1 is not a regular file").arg(path);
    }
    if (!file.isReadable()) {
        return QStringLiteral("cannot read the file %1").arg(path);
    }
    return {};
}

std::optional<QByteArray> readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The line the reading stopped on, from the file's bytes; lines end at any control character,
// as the reader counts them, and empty ones are not counted.
QByteArray lineOf(const QByteArray& contents, int number) {
    int counted = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= contents.size(); ++i) {
        if (i < contents.size() && static_cast<unsigned char>(contents[i]) >= 0x20) {
            continue;
        }
        if (i > start && ++counted == number) {
            return contents.mid(start, i - start);
        }
        start = i + 1;
    }
    return {};
}

}  // namespace

QString escapedExcerpt(const QByteArray& bytes, int limit) {
    QString text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        const QString shown = code >= 0x20 && code < 0x7f && code != '\\'
                                  ? QString(QLatin1Char(byte))
                                  : QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        if (text.size() + shown.size() > limit) {
            return text + QStringLiteral("...");
        }
        text += shown;
    }
    return text;
}

QString checkWriteKmt2Arguments(const QStringList& arguments) {
    const QString path = arguments.value(0);
    if (const QString problem = fileProblem(path); !problem.isEmpty()) {
        return problem;
    }
    const std::optional<QByteArray> contents = readAll(path);
    if (!contents) {
        return QStringLiteral("cannot read the file %1").arg(path);
    }
    QByteArray scratch(kScratchFlashBytes, '\xff');
    const RecordFileResult result = buildImageFromRecords(
        *contents,
        {reinterpret_cast<std::uint8_t*>(scratch.data()), static_cast<size_t>(scratch.size())});
    if (result.ok) {
        return {};
    }
    const QByteArray line = lineOf(*contents, result.failedLine);
    return QStringLiteral("%1 is not a firmware record file: %2%3")
        .arg(path, result.failure,
             line.isEmpty() ? QString()
                            : QStringLiteral(" (line %1: \"%2\")")
                                  .arg(result.failedLine)
                                  .arg(escapedExcerpt(line, kExcerptCharacters)));
}

QString checkWriteEflArguments(const QStringList& arguments) {
    const QString path = arguments.value(0);
    if (const QString problem = fileProblem(path); !problem.isEmpty()) {
        return problem;
    }
    if (QFileInfo(path).size() == 0) {
        return QStringLiteral("the file %1 is empty").arg(path);
    }
    return {};
}

}  // namespace verimant::cli
