#pragma once

#include <QIcon>
#include <QList>

namespace verimant {

// ImageList1: the window's twelve 16 x 16 pictures, addressed by index. Odd indexes 1, 5, 7 and 9
// are grey outline variants of the picture before them; 3 is the grey outline book that the log
// toggle shows while the log is visible.
class ImageList {
public:
    enum Index {
        Door = 0,
        DoorGrey = 1,
        Book = 2,
        BookGrey = 3,
        Pencil = 4,
        PencilGrey = 5,
        Globe = 6,
        GlobeGrey = 7,
        FloppyDisk = 8,
        FloppyDiskGrey = 9,
        RussianFlag = 10,
        BritishFlag = 11,
    };
    static constexpr int kCount = 12;

    ImageList();

    // The same QIcon object for the same index, so an action's icon can be compared with it.
    const QIcon& icon(int index) const { return icons_.at(index); }
    int count() const { return static_cast<int>(icons_.size()); }

private:
    QList<QIcon> icons_;
};

}  // namespace verimant
