#include "ui/info_groups.h"

#include "ui/ui_fonts.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace verimant {

namespace {

constexpr int kStripHeight = 128;
constexpr int kDeviceGroupWidth = 248;
constexpr int kFieldWidth = 121;
constexpr int kUidFieldWidth = 185;
constexpr int kFieldHeight = 17;
constexpr int kFieldPixelSize = 11;
constexpr int kUidPixelSize = 9;
constexpr int kSoftLabelWidth = 64;
constexpr int kFieldPadding = 3;
// The widest UID the instrument reports: twelve bytes in pairs of hexadecimal digits.
const QString kWidestUid = QStringLiteral("WW:WW:WW:WW:WW:WW:WW:WW:WW:WW:WW:WW");

int widthToShow(const QLabel* field, const QString& text) {
    return field->fontMetrics().horizontalAdvance(text) + 2 * field->frameWidth() +
           2 * kFieldPadding;
}

struct Row {
    const char* label;
    QString labelText;
    const char* field;
    InfoField which;
    int fieldWidth;
    int fieldPixelSize;
};

QLabel* makeValueField(QWidget* parent, const Row& row) {
    auto* field = new QLabel(parent);
    field->setObjectName(QString::fromLatin1(row.field));
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setAlignment(Qt::AlignCenter);
    field->setFixedSize(row.fieldWidth, kFieldHeight);
    field->setFont(monospaceFont(row.fieldPixelSize, true));
    return field;
}

QLabel* makeLabel(QWidget* parent, const Row& row) {
    auto* label = new QLabel(row.labelText, parent);
    label->setObjectName(QString::fromLatin1(row.label));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& title) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 6, 8, 6);
    layout->setSpacing(6);
    return group;
}

}  // namespace

InfoStrip::InfoStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(kStripHeight);
    deviceGroup_ =
        makeGroup(this, "GroupBox_DeviceInfo", QStringLiteral("Информация об устройстве"));
    deviceGroup_->setFixedWidth(kDeviceGroupWidth);
    softwareGroup_ = makeGroup(this, "GroupBox_SoftInfo", QStringLiteral("Информация о ПО"));

    const Row deviceRows[] = {
        {"Label_SerialNumber", QStringLiteral("Серийный номер :"), "ST_DI_Serial_Number",
         InfoField::SerialNumber, kFieldWidth, kFieldPixelSize},
        {"Label7", QStringLiteral("UID :"), "ST_DI_UID", InfoField::Uid, kUidFieldWidth,
         kUidPixelSize},
        {"Label_BoardVersion", QStringLiteral("Версия платы :"), "ST_DI_Board_Version",
         InfoField::BoardVersion, kFieldWidth, kFieldPixelSize},
        {"Label_Board_SubCode", QStringLiteral("Код сборки :"), "ST_DI_Board_Assembling",
         InfoField::BoardAssembling, kFieldWidth, kFieldPixelSize},
    };
    for (const Row& row : deviceRows) {
        auto* line = new QHBoxLayout;
        line->addWidget(makeLabel(deviceGroup_, row), 1);
        fields_[static_cast<int>(row.which)] = makeValueField(deviceGroup_, row);
        line->addWidget(fields_[static_cast<int>(row.which)]);
        static_cast<QVBoxLayout*>(deviceGroup_->layout())->addLayout(line);
    }
    static_cast<QVBoxLayout*>(deviceGroup_->layout())->addStretch(1);

    const Row softwareRows[] = {
        {"Label4", QStringLiteral("BOOT :"), "ST_DI_SW_Boot", InfoField::SwBoot, kFieldWidth,
         kFieldPixelSize},
        {"Label5", QStringLiteral("KMT2 :"), "ST_DI_SW_KMT2", InfoField::SwKmt2, kFieldWidth,
         kFieldPixelSize},
        {"Label6", QStringLiteral("Ext Data :"), "ST_DI_SW_External", InfoField::SwExternal,
         kFieldWidth, kFieldPixelSize},
    };
    for (const Row& row : softwareRows) {
        auto* line = new QHBoxLayout;
        QLabel* label = makeLabel(softwareGroup_, row);
        label->setFixedWidth(kSoftLabelWidth);
        line->addWidget(label);
        fields_[static_cast<int>(row.which)] = makeValueField(softwareGroup_, row);
        line->addWidget(fields_[static_cast<int>(row.which)]);
        line->addStretch(1);
        static_cast<QVBoxLayout*>(softwareGroup_->layout())->addLayout(line);
    }
    static_cast<QVBoxLayout*>(softwareGroup_->layout())->addStretch(1);

    // The design width of the UID field cuts a full UID in the bold face: it opens wide enough.
    widenToShow(InfoField::Uid, kWidestUid);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 0);
    layout->setSpacing(4);
    layout->addWidget(deviceGroup_);
    layout->addWidget(softwareGroup_, 1);
}

QLabel* InfoStrip::field(InfoField which) const {
    return fields_[static_cast<int>(which)];
}

void InfoStrip::setFieldText(InfoField which, const QString& text) {
    field(which)->setText(text);
    widenToShow(which, text);
}

void InfoStrip::widenToShow(InfoField which, const QString& text) {
    QLabel* shown = field(which);
    const int growth = widthToShow(shown, text) - shown->minimumWidth();
    if (growth <= 0) {
        return;
    }
    shown->setFixedWidth(shown->minimumWidth() + growth);
    // The device group has a fixed width; the software group takes whatever is left.
    if (shown->parentWidget() == deviceGroup_) {
        deviceGroup_->setFixedWidth(deviceGroup_->minimumWidth() + growth);
    }
}

}  // namespace verimant
