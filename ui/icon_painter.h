#pragma once

#include <QPixmap>

namespace verimant {

// The motifs of the window's 16 x 16 pictures. Each is drawn either in colour or as a grey
// outline (the look of an unavailable command).
enum class IconMotif { Door, Book, Pencil, Globe, FloppyDisk, RussianFlag, BritishFlag };
enum class IconInk { Colour, GreyOutline };

QPixmap paintIcon(IconMotif motif, IconInk ink);

// The application's own 32 x 32 picture for the window and the task bar.
QPixmap paintApplicationIcon();

}  // namespace verimant
