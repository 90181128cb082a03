#include "device/efl_screen_texts.h"

namespace verimant {

namespace {

const QString kSpinner = QStringLiteral("|/-\\");
int spinnerPosition = 0;

}  // namespace

QString eflConnectionText(int portNumber) {
    return QStringLiteral("COM ") + QString::number(portNumber);
}

QStringList eflOpeningScreen(int portNumber, const QString& fileName) {
    return {
        QStringLiteral("{X0|Y0|Cg|RF240:320}"),
        QStringLiteral("{F02|Bg|CW|AL|T0}"),
        QStringLiteral("{Y5|AS|*}PC CONNECTED"),
        QStringLiteral("{Y25|AS|*}COM-") + QString::number(portNumber),
        QStringLiteral("{Y300|X0|Bg|CW|F01|AL}"),
        fileName,
        QStringLiteral("{Y60|X67|CB|RF106:16|x3|y3|Cb|RF100:10}"),
    };
}

QString eflBarFillText(int percent) {
    return QStringLiteral("{X70|Y63|CY|RF") + QString::number(percent) + QStringLiteral(":10}");
}

QChar nextSpinnerChar() {
    spinnerPosition = (spinnerPosition + 1) % kSpinner.size();
    return kSpinner[spinnerPosition];
}

QString eflSpinnerText() {
    // The instrument's firmware expects the NUL after the character as well as the terminator.
    return QStringLiteral("{Y83|CC|F02|AS|*}") + nextSpinnerChar() + QChar(0);
}

QStringList eflEndScreen() {
    return {QStringLiteral("#{X0|Y280|Cg|Bg|RF240:20|F02}"),
            QStringLiteral("{Y280|CY|T0|AS|*}END OF WRITE")};
}

}  // namespace verimant
