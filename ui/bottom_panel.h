#pragma once

#include <QColor>
#include <QFrame>

class QLabel;
class QProgressBar;

namespace verimant {

// Panel_Bottom, the status bar: the port in use (Panel_COM), the link state with its colour
// (Panel_Connection), one line of status text (Panel_Bottom_Info_Text) and the progress of the
// current transfer (ProgressBar_Bottom_Info).
class BottomPanel : public QFrame {
    Q_OBJECT
public:
    explicit BottomPanel(QWidget* parent = nullptr);

    void setComText(const QString& text);
    void setConnectionState(const QString& text, const QColor& background);
    void setInfoText(const QString& text);
    // Clamped to 0 .. 100.
    void setProgress(int percent);

    QString comText() const;
    QString connectionText() const;
    QColor connectionColour() const;
    QString infoText() const;
    int progress() const;

private:
    QLabel* comPanel_;
    QLabel* connectionPanel_;
    QLabel* infoText_;
    QProgressBar* progressBar_;
};

// A colour given in the 0x00BBGGRR form (blue in the high byte) that the link-state colours use.
QColor colourFromBgr(quint32 bgr);

}  // namespace verimant
