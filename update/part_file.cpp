#include "update/part_file.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

namespace verimant {

PartFile::PartFile(const QString& target) : target_(target) {
    const QFileInfo info(target);
    if (info.fileName().isEmpty())
        return;
    for (int attempt = 0; attempt < 16 && !isOpen(); ++attempt) {
        setFileName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                    QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate()));
        open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
}

PartFile::~PartFile() {
    if (!committed_ && isOpen()) {
        close();
        remove();
    }
}

bool PartFile::commit() {
    if (!flush())
        return false;
    close();
    committed_ = std::rename(QFile::encodeName(fileName()).constData(),
                             QFile::encodeName(target_).constData()) == 0;
    if (!committed_)
        remove();
    return committed_;
}

}  // namespace verimant
