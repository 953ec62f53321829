// An animated GIF of many small frames on a 100 x 100 screen, converted to
// 50 pixels wide as `?w=50` asks: the time by frame count, which should
// grow with the count, not its square. Also what counting the frames of
// such a file costs, done before any frame is decoded.
#include <benchmark/benchmark.h>

#include <FreeImage.h>
#include <vector>

#include "imaging/image_codec.h"
#include "os/read_only_file.h"
#include "support/animated_gif_file.h"
#include "support/temp_dir.h"

namespace {

using quorin::test::gif_frame;

// A full first frame, then 8 x 8 patches that walk across the screen.
std::filesystem::path many_frames(const quorin::test::temp_dir& dir, int count) {
    std::vector<gif_frame> frames{{.width = 100, .height = 100}};
    for (int index = 1; index < count; ++index) {
        frames.push_back({.width = 8,
                          .height = 8,
                          .left = static_cast<unsigned>(index * 7 % 92),
                          .top = static_cast<unsigned>(index * 3 % 92),
                          .disposal = 1,
                          .local_palette = false});
    }
    auto file = dir.path() / "many.gif";
    if (!quorin::test::write_animated_gif(file, 100, 100, frames, true)) return {};
    return file;
}

void converted_to_half_width(benchmark::State& state) {
    const quorin::test::temp_dir dir;
    const auto file = many_frames(dir, static_cast<int>(state.range(0)));
    const auto source = quorin::host::os::read_only_file::open(file.string());
    if (!source) {
        state.SkipWithError("no source");
        return;
    }
    quorin::host::conversion_parameters parameters;
    parameters.width = 50;
    for (auto _ : state) {
        const quorin::host::memory_stream out;
        if (quorin::host::convert_image(*source, FIF_GIF, parameters,
                                        quorin::host::output_format::gif,
                                        out.get()) != quorin::host::conversion_status::converted) {
            state.SkipWithError("not converted");
        }
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(converted_to_half_width)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void frames_counted(benchmark::State& state) {
    const quorin::test::temp_dir dir;
    const auto file = many_frames(dir, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        FIMULTIBITMAP* frames =
            FreeImage_OpenMultiBitmap(FIF_GIF, file.string().c_str(), FALSE, TRUE, FALSE, 0);
        benchmark::DoNotOptimize(FreeImage_GetPageCount(frames));
        FreeImage_CloseMultiBitmap(frames, 0);
    }
}
BENCHMARK(frames_counted)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
