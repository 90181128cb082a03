#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

namespace verimant {

// What the external-flash writer puts on the instrument's own 240 x 320 screen, in its markup.

// The connection screen's text: "COM 3".
QString eflConnectionText(int portNumber);
// Clears the screen, names the port and the file, and draws the empty progress bar.
QStringList eflOpeningScreen(int portNumber, const QString& fileName);
// The filled part of the bar, `percent` points wide.
QString eflBarFillText(int percent);
// The spinner below the bar, turned one step on from where it last stood.
QString eflSpinnerText();
// The turning spinner's next character; its position lasts for the program's run.
QChar nextSpinnerChar();
QStringList eflEndScreen();

}  // namespace verimant
