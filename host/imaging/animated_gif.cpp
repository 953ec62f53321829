#include "imaging/animated_gif.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/gif_canvas.h"
#include "imaging/memory_stream.h"
#include "imaging/reader_io.h"
#include "imaging/windowed_reader.h"

namespace quorin::host {
namespace {

struct multi_bitmap_deleter {
    void operator()(FIMULTIBITMAP* frames) const { FreeImage_CloseMultiBitmap(frames, 0); }
};
using multi_bitmap = std::unique_ptr<FIMULTIBITMAP, multi_bitmap_deleter>;

// A frame's display time, carried from the frame as stored to the one
// converted; or the loop count, which the writer reads from the first frame.
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

// A copy of frame `index` as stored, 8-bit whatever its palette's size;
// null when it cannot be decoded.
bitmap raw_frame(FIMULTIBITMAP* frames, int index) {
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
                                                   const animation_encoder& encode, FIMEMORY* out) {
    windowed_reader reader(source);
    // Opening reads the file's structure, not its pixels: the frames are
    // counted before any is decoded. They are loaded as stored and drawn
    // one over the other here, since the library's own playback replays
    // every earlier frame for each, which grows with the square of the count.
    const multi_bitmap frames(FreeImage_OpenMultiBitmapFromHandle(
        FIF_GIF, reader_io<windowed_reader>(), &reader, GIF_LOAD256));
    if (!frames) return std::nullopt;
    const int count = FreeImage_GetPageCount(frames.get());
    if (count < 2) return std::nullopt;
    // Every frame is shown on the whole screen, so the work grows with the
    // frames times the screen's pixels; held to a still picture's limit, an
    // animation costs no more to decode and resize than the largest still.
    const image_size screen = screen_size(first_frame);
    if (std::uint64_t{screen.width} * screen.height * static_cast<unsigned>(count) >
        max_source_pixels) {
        return conversion_status::too_large;
    }

    gif_canvas canvas(first_frame);
    std::vector<bitmap> converted;
    for (int index = 0; index < count; ++index) {
        const bitmap raw = raw_frame(frames.get(), index);
        if (!raw) return conversion_status::unreadable;
        bitmap frame = canvas.show(raw.get());
        if (!frame) return conversion_status::unreadable;
        if (!convert_frame(frame)) return conversion_status::failed;
        animation_tag(raw.get(), "FrameTime").apply_to(frame.get());
        converted.push_back(std::move(frame));
    }
    animation_tag(first_frame, "Loop").apply_to(converted.front().get());
    return encode(converted, out) ? conversion_status::converted : conversion_status::failed;
}

bool encode_gif_animation(const std::vector<bitmap>& frames, FIMEMORY* out) {
    // A multi-page bitmap can only be added to once it exists: it is opened
    // on the first frame encoded alone, and the others are appended.
    const memory_stream first;
    if (frames.empty() || !FreeImage_SaveToMemory(FIF_GIF, frames.front().get(), first.get(), 0))
        return false;
    FreeImage_SeekMemory(first.get(), 0, SEEK_SET);
    const multi_bitmap answer(FreeImage_LoadMultiBitmapFromMemory(FIF_GIF, first.get(), 0));
    if (!answer) return false;
    for (std::size_t index = 1; index < frames.size(); ++index)
        FreeImage_AppendPage(answer.get(), frames[index].get());
    return FreeImage_SaveMultiBitmapToMemory(FIF_GIF, answer.get(), out, 0) != FALSE;
}

} // namespace quorin::host
