#include "cli/json_forms.h"

#include "device/device_info.h"
#include "device/device_info_texts.h"

#include "cli/json_result.h"
#include "device/device_text_forms.h"
#include "device/write_cancel.h"
#include "device/write_options.h"

#include <QFileInfo>

namespace verimant::cli {

QJsonObject deviceInfoJson(const DeviceInfo& info, int port) {
    const DeviceInfoTexts texts = deviceInfoTexts(info);
    return {{QStringLiteral("port"), port},
            {QStringLiteral("serial"), texts.serialNumber},
            {QStringLiteral("uid"), texts.uid},
            {QStringLiteral("board"), texts.boardVersion},
            {QStringLiteral("assembling"), texts.boardAssembling},
            {QStringLiteral("boot"), texts.softwareBoot},
            {QStringLiteral("kmt2"), texts.softwareMain},
            {QStringLiteral("efl"),
             info.eflVersionRead ? QJsonValue(texts.softwareExternal) : QJsonValue()}};
}

QJsonArray upgradeChangesJson(const DeviceInfo& info, std::uint16_t setMain, std::uint16_t setEfl) {
    QJsonArray changes;
    const auto add = [&changes](const char* part, std::uint16_t from, std::uint16_t to) {
        if (from != to) {
            changes.append(QJsonObject{{QStringLiteral("part"), QString::fromLatin1(part)},
                                       {QStringLiteral("from"), versionText(from)},
                                       {QStringLiteral("to"), versionText(to)}});
        }
    };
    add("KMT2", info.programInfo.mainVersion, setMain);
    add("EFL", info.eflVersion, setEfl);
    return changes;
}

void noteWriteStart(JsonResult& json, const char* part, const QString& file,
                    const WriteOptions& options) {
    json.set(QStringLiteral("part"), QString::fromLatin1(part));
    json.set(QStringLiteral("file"), QFileInfo(file).absoluteFilePath());
    json.set(QStringLiteral("verify"), options.verify);
}

void noteWriteResult(JsonResult& json, bool written) {
    json.set(QStringLiteral("result"), written                  ? "written"
                                       : writeCancelRequested() ? "cancelled"
                                                                : "failed");
}

}  // namespace verimant::cli
