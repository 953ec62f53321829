#include "imaging/animated_gif.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/windowed_reader.h"

namespace quorin::host {
namespace {

struct multi_bitmap_deleter {
    void operator()(FIMULTIBITMAP* frames) const { FreeImage_CloseMultiBitmap(frames, 0); }
};
using multi_bitmap = std::unique_ptr<FIMULTIBITMAP, multi_bitmap_deleter>;

// A frame's display time, kept across a conversion that makes a new
// bitmap; or the loop count, which the writer reads from the first frame.
class animation_tag {
public:
    animation_tag(FIBITMAP* frame, const char* key) : key_(key) {
        FITAG* tag = nullptr;
        if (FreeImage_GetMetadata(FIMD_ANIMATION, frame, key, &tag)) tag_ = FreeImage_CloneTag(tag);
    }
    ~animation_tag() {
        if (tag_ != nullptr) FreeImage_DeleteTag(tag_);
    }
    animation_tag(const animation_tag&) = delete;
    animation_tag& operator=(const animation_tag&) = delete;

    void apply_to(FIBITMAP* frame) const {
        if (tag_ != nullptr) FreeImage_SetMetadata(FIMD_ANIMATION, frame, key_, tag_);
    }

private:
    const char* key_;
    FITAG* tag_ = nullptr;
};

// A copy of frame `index`; null when it cannot be decoded.
bitmap played_frame(FIMULTIBITMAP* frames, int index) {
    FIBITMAP* page = FreeImage_LockPage(frames, index);
    if (page == nullptr) return nullptr;
    bitmap frame(FreeImage_Clone(page));
    FreeImage_UnlockPage(frames, page, FALSE);
    return frame;
}

} // namespace

std::optional<conversion_status> convert_animation(const os::read_only_file& source,
                                                   FIBITMAP* first_frame,
                                                   const frame_converter& convert_frame,
                                                   FIMEMORY* out) {
    windowed_reader reader(source);
    // Played, each frame is the whole picture as shown at that point, so
    // that it can be resized on its own.
    const multi_bitmap frames(
        FreeImage_OpenMultiBitmapFromHandle(FIF_GIF, windowed_reader_io(), &reader, GIF_PLAYBACK));
    if (!frames) return std::nullopt;
    const int count = FreeImage_GetPageCount(frames.get());
    if (count < 2) return std::nullopt;

    std::vector<bitmap> converted;
    std::uint64_t pixels = 0;
    for (int index = 0; index < count; ++index) {
        bitmap frame = played_frame(frames.get(), index);
        if (!frame) return conversion_status::unreadable;
        pixels += std::uint64_t{FreeImage_GetWidth(frame.get())} * FreeImage_GetHeight(frame.get());
        if (pixels > max_source_pixels) return conversion_status::too_large;
        const animation_tag time(frame.get(), "FrameTime");
        if (!convert_frame(frame)) return conversion_status::failed;
        time.apply_to(frame.get());
        converted.push_back(std::move(frame));
    }
    animation_tag(first_frame, "Loop").apply_to(converted.front().get());
    // A multi-page bitmap can only be added to once it exists: it is opened
    // on the first frame encoded alone, and the others are appended.
    const memory_stream first;
    if (!FreeImage_SaveToMemory(FIF_GIF, converted.front().get(), first.get(), 0))
        return conversion_status::failed;
    FreeImage_SeekMemory(first.get(), 0, SEEK_SET);
    const multi_bitmap answer(FreeImage_LoadMultiBitmapFromMemory(FIF_GIF, first.get(), 0));
    if (!answer) return conversion_status::failed;
    for (std::size_t index = 1; index < converted.size(); ++index)
        FreeImage_AppendPage(answer.get(), converted[index].get());
    return FreeImage_SaveMultiBitmapToMemory(FIF_GIF, answer.get(), out, 0)
               ? conversion_status::converted
               : conversion_status::failed;
}

} // namespace quorin::host
