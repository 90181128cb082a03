#include "sim/instrument_files.h"

#include "sim/instrument.h"

#include <QDir>
#include <QSaveFile>

namespace verimant::sim {

namespace {

QByteArray parametersText(const Instrument& instrument) {
    QByteArray text;
    for (const auto& [id, value] : instrument.parameters()) {
        text += QByteArray::number(id) + '=' + QByteArray::number(value) + '\n';
    }
    return text;
}

QByteArray settingsText(const Instrument& instrument) {
    QByteArray text;
    for (int copy = 0; copy < 2; ++copy) {
        const SettingsValues values = instrument.settingsCopy(copy);
        text += "copy " + QByteArray::number(copy) +
                (settingsValid(values) ? " valid\n" : " invalid\n");
        for (int i = 0; i < kSettingsValueCount; ++i) {
            text += QByteArray::number(i) + '=' + QByteArray::number(values[i]) + '\n';
        }
    }
    return text;
}

QByteArray screenText(const Instrument& instrument) {
    QByteArray text;
    for (const QByteArray& line : instrument.screenTextBytes()) {
        text += line + '\n';
    }
    return text;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        return true;
    }
    if (error) {
        *error = path + QStringLiteral(": ") + file.errorString();
    }
    return false;
}

}  // namespace

bool saveInstrumentFiles(const Instrument& instrument, const QString& dir, QString* error) {
    if (!QDir().mkpath(dir)) {
        if (error) {
            *error = dir + QStringLiteral(": cannot create the folder");
        }
        return false;
    }
    const QDir folder(dir);
    const auto path = [&folder](const char* name) { return folder.filePath(QLatin1String(name)); };
    return writeFile(path(kExternalFlashFile), instrument.externalFlash().bytes(), error) &&
           writeFile(path(kProcessorFlashFile), instrument.processorFlash().bytes(), error) &&
           writeFile(path(kParametersFile), parametersText(instrument), error) &&
           writeFile(path(kSettingsFile), settingsText(instrument), error) &&
           writeFile(path(kScreenTextsFile), screenText(instrument), error);
}

}  // namespace verimant::sim
