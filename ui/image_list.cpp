#include "ui/image_list.h"

#include "ui/icon_painter.h"

namespace verimant {

ImageList::ImageList() {
    struct Picture {
        IconMotif motif;
        IconInk ink;
    };
    const Picture pictures[kCount] = {
        {IconMotif::Door, IconInk::Colour},        {IconMotif::Door, IconInk::GreyOutline},
        {IconMotif::Book, IconInk::Colour},        {IconMotif::Book, IconInk::GreyOutline},
        {IconMotif::Pencil, IconInk::Colour},      {IconMotif::Pencil, IconInk::GreyOutline},
        {IconMotif::Globe, IconInk::Colour},       {IconMotif::Globe, IconInk::GreyOutline},
        {IconMotif::FloppyDisk, IconInk::Colour},  {IconMotif::FloppyDisk, IconInk::GreyOutline},
        {IconMotif::RussianFlag, IconInk::Colour}, {IconMotif::BritishFlag, IconInk::Colour},
    };
    for (const Picture& picture : pictures) {
        icons_.append(QIcon(paintIcon(picture.motif, picture.ink)));
    }
}

}  // namespace verimant
