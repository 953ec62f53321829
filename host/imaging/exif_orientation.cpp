#include "imaging/exif_orientation.h"

namespace quorin::host {

int exif_orientation(FIBITMAP* image) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, image, "Orientation", &tag) ||
        FreeImage_GetTagType(tag) != FIDT_SHORT || FreeImage_GetTagCount(tag) != 1) {
        return 1;
    }
    const auto orientation = *static_cast<const WORD*>(FreeImage_GetTagValue(tag));
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

void set_exif_orientation(FIBITMAP* image, int orientation) {
    FITAG* tag = FreeImage_CreateTag();
    if (tag == nullptr) return;
    const auto value = static_cast<WORD>(orientation);
    FreeImage_SetTagKey(tag, "Orientation");
    FreeImage_SetTagType(tag, FIDT_SHORT);
    FreeImage_SetTagCount(tag, 1);
    FreeImage_SetTagLength(tag, sizeof value);
    FreeImage_SetTagValue(tag, &value);
    FreeImage_SetMetadata(FIMD_EXIF_MAIN, image, "Orientation", tag);
    FreeImage_DeleteTag(tag);
}

namespace {

// The library turns counter-clockwise.
bool turn(bitmap& image, int degrees) {
    return replace(image, FreeImage_Rotate(image.get(), degrees));
}

} // namespace

bool turns_a_quarter(int orientation) { return orientation >= 5; }

bool turn_upright(bitmap& image, int orientation) {
    switch (orientation) {
    case 2:
        return FreeImage_FlipHorizontal(image.get()) != FALSE;
    case 3:
        return turn(image, 180);
    case 4:
        return FreeImage_FlipVertical(image.get()) != FALSE;
    case 5: // transposed
        return turn(image, -90) && FreeImage_FlipHorizontal(image.get()) != FALSE;
    case 6:
        return turn(image, -90);
    case 7: // transposed across the other diagonal
        return turn(image, -90) && FreeImage_FlipVertical(image.get()) != FALSE;
    case 8:
        return turn(image, 90);
    default:
        return true;
    }
}

} // namespace quorin::host
