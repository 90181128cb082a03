#pragma once

#include <QFile>
#include <QString>

namespace verimant {

// A download's file while it arrives: a new name beside the target, created exclusively (so never
// through an existing file or link), removed unless committed. Committing renames it over the
// target; rename() replaces a link there instead of writing through it.
class PartFile : public QFile {
public:
    explicit PartFile(const QString& target);
    ~PartFile() override;
    bool commit();

private:
    QString target_;
    bool committed_ = false;
};

}  // namespace verimant
