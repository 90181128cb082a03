#include "device/device_info.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/device_session.h"
#include "device/device_text_forms.h"
#include "device/instrument_identity.h"
#include "link/device_commands.h"

namespace verimant {

namespace {

class EmptyModelNames final : public ModelNameLookup {
public:
    QString modelName(const QString&) const override { return QString(); }
};

void logIdentity(ActivityLog& log, const DeviceInfo& info) {
    log.AddLine("UID   : " + uidText(info.uid));
    log.AddLine("S/N   : " + serialText(info.boardRecord));
    log.AddLine("Board : " + boardText(info.boardRecord));
    log.AddLine("BoardY: " + assemblingText(info.boardRecord));
}

void readEflVersion(DeviceSession& session, DeviceInfo& info) {
    info.eflVersionRead = DeviceExtFlashVersion_Get(session, info.eflVersion) == kEflVersionRead;
    if (!info.eflVersionRead) {
        session.log.AddErrorLine(PickText(QStringLiteral("Ошибка чтения версии EXT_FL"),
                                          QStringLiteral("Error reading version of EXT_EFL")),
                                 0);
        info.eflVersion = 0;
    }
    session.log.AddLine("EFL   : " + versionText(info.eflVersion));
}

void warnBootLoaderRunning(ActivityLog& log) {
    log.AddLine(QStringLiteral("Attention! Device in BOOT mode!"));
    userDialogs().showWarning(
        PickText(QStringLiteral("Внимание!\nПрибор находится в режиме загрузчика!"),
                 QStringLiteral("Attention!\nDevice is in BOOT mode!")));
}

}  // namespace

const ModelNameLookup& noModelNames() {
    static const EmptyModelNames names;
    return names;
}

bool DeviceInformation_Get(DeviceSession& session, DeviceInfo& info, const ModelNameLookup& names) {
    ActivityLog& log = session.log;
    log.AddLine(QStringLiteral("==>DeviceInformation_Get"));
    log.AddLine(QStringLiteral("    Information from Device Recieved:"));
    if (!readBoardRecord(session, info.boardRecord)) {
        log.AddErrorLine(QStringLiteral("    ERROR reading Inf1"), 0);
        return false;
    }
    info.modelName = names.modelName(modelKey(info.boardRecord));
    if (!session.commands.readProcessorUid(&info.uid)) {
        log.AddErrorLine(QStringLiteral("    ERROR reading UID"), 0);
        return false;
    }
    logIdentity(log, info);
    if (!session.commands.readProgramInfo(&info.programInfo, true)) {
        log.AddErrorLine(QStringLiteral("   ERROR reading SW Version"), 0);
        return false;
    }
    log.AddLine("BOOT  : " + versionText(info.programInfo.bootVersion));
    log.AddLine("KMT2  : " + versionText(info.programInfo.mainVersion));
    if (info.programInfo.mainVersion != 0) {
        readEflVersion(session, info);
    } else {
        warnBootLoaderRunning(log);
    }
    info.valid = true;
    return true;
}

}  // namespace verimant
