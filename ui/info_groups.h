#pragma once

#include <QGroupBox>
#include <QLabel>

namespace verimant {

// The value fields that the device-information display writes.
enum class InfoField {
    SerialNumber,     // ST_DI_Serial_Number
    Uid,              // ST_DI_UID
    BoardVersion,     // ST_DI_Board_Version
    BoardAssembling,  // ST_DI_Board_Assembling
    SwBoot,           // ST_DI_SW_Boot
    SwKmt2,           // ST_DI_SW_KMT2
    SwExternal,       // ST_DI_SW_External
};

// Panel1, the information strip: GroupBox_DeviceInfo on the left (248 wide) and GroupBox_SoftInfo
// filling the rest, each a column of right-aligned labels with sunken, centred value fields.
class InfoStrip : public QWidget {
    Q_OBJECT
public:
    explicit InfoStrip(QWidget* parent = nullptr);

    QLabel* field(InfoField which) const;
    // Writes a value field; a value wider than the field widens it (and its group), so that no
    // value is ever shown cut.
    void setFieldText(InfoField which, const QString& text);
    QGroupBox* deviceGroup() const { return deviceGroup_; }
    QGroupBox* softwareGroup() const { return softwareGroup_; }

private:
    void widenToShow(InfoField which, const QString& text);

    QGroupBox* deviceGroup_;
    QGroupBox* softwareGroup_;
    QLabel* fields_[7] = {};
};

}  // namespace verimant
