#pragma once

#include <QIcon>
#include <QPixmap>

namespace verimant {

// The motifs of the window's 16 x 16 pictures. Each is drawn either in colour or as a grey
// outline (the look of an unavailable command).
enum class IconMotif { Door, Book, Pencil, Globe, FloppyDisk, RussianFlag, BritishFlag };
enum class IconInk { Colour, GreyOutline };

QPixmap paintIcon(IconMotif motif, IconInk ink);

// The application's own picture for the window and the task bar, drawn for `size` x `size`
// pixels (designed at 32), so the desktop's icon theme gets it sharp at every size.
QPixmap paintApplicationIcon(int size = 32);
// The same at the sizes window managers and task bars ask for.
QIcon applicationIcon();

}  // namespace verimant
