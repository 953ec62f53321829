// Conversions of a corpus of sources to each output format, in process:
// the median size of the answers, the median time of a conversion
// (decode, fit, encode) on the clock and in processor time (which other
// work on a shared machine disturbs less), each source's time the median
// of its repeats, and the median PSNR of the answers against the lossless
// (PNG) answer.
//
//   quorin_format_bench DIR WxH|N [REPEATS] [AVIF_SPEED...]
//
// WxH fits every source inside that box, N inside N x N. Rows for JPEG,
// WebP and AVIF at the host's default speed, then one for each AVIF speed
// named.
#include <FreeImage.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/avif_encoder.h"
#include "imaging/image_codec.h"
#include "os/read_only_file.h"

namespace {

using namespace quorin::host;

template <typename T>
T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? T{} : values[values.size() / 2];
}

struct figures {
    std::size_t files = 0;
    std::size_t bytes = 0;
    double milliseconds = 0;
    double processor_milliseconds = 0;
    double psnr = 0;
};

// The answer in `out`, decoded to 24-bit colour.
FIBITMAP* decoded(const memory_stream& out) {
    FreeImage_SeekMemory(out.get(), 0, SEEK_SET);
    FIBITMAP* image =
        FreeImage_LoadFromMemory(FreeImage_GetFileTypeFromMemory(out.get(), 0), out.get(), 0);
    FIBITMAP* colour = image != nullptr ? FreeImage_ConvertTo24Bits(image) : nullptr;
    FreeImage_Unload(image);
    return colour;
}

// Peak signal to noise over the RGB channels, in dB; 0 when the sizes differ.
double psnr(FIBITMAP* answer, FIBITMAP* reference) {
    const unsigned width = FreeImage_GetWidth(reference), height = FreeImage_GetHeight(reference);
    if (answer == nullptr || FreeImage_GetWidth(answer) != width ||
        FreeImage_GetHeight(answer) != height) {
        return 0;
    }
    double squared = 0;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* a = FreeImage_GetScanLine(answer, static_cast<int>(y));
        const BYTE* b = FreeImage_GetScanLine(reference, static_cast<int>(y));
        for (unsigned i = 0; i < width * 3; ++i) squared += std::pow(double(a[i]) - b[i], 2);
    }
    const double mean = squared / (3.0 * width * height);
    return 10 * std::log10(255.0 * 255.0 / std::max(mean, 1e-9));
}

figures measure(const std::vector<std::filesystem::path>& sources,
                const conversion_parameters& parameters, output_format format, int repeats) {
    std::vector<std::size_t> sizes;
    std::vector<double> times;
    std::vector<double> processor_times;
    std::vector<double> qualities;
    for (const auto& file : sources) {
        const auto source = os::read_only_file::open(file.string());
        const auto source_format = source ? readable_format(*source) : std::nullopt;
        if (!source_format) continue;
        const memory_stream lossless;
        convert_image(*source, *source_format, parameters, output_format::png, lossless.get());
        FIBITMAP* reference = decoded(lossless);
        std::vector<double> repeat_times;
        std::vector<double> repeat_processor_times;
        std::size_t size = 0;
        double quality = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            const memory_stream out;
            const auto start = std::chrono::steady_clock::now();
            const std::clock_t processor_start = std::clock();
            const auto status =
                convert_image(*source, *source_format, parameters, format, out.get());
            repeat_processor_times.push_back(1000.0 * double(std::clock() - processor_start) /
                                             CLOCKS_PER_SEC);
            repeat_times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (status != conversion_status::converted) {
                std::fprintf(stderr, "%s: not converted\n", file.c_str());
                return {};
            }
            BYTE* data = nullptr;
            DWORD length = 0;
            FreeImage_AcquireMemory(out.get(), &data, &length);
            size = length;
            FIBITMAP* answer = decoded(out);
            quality = psnr(answer, reference);
            FreeImage_Unload(answer);
        }
        FreeImage_Unload(reference);
        sizes.push_back(size);
        times.push_back(median(repeat_times));
        processor_times.push_back(median(repeat_processor_times));
        qualities.push_back(quality);
    }
    return {sizes.size(), median(sizes), median(times), median(processor_times), median(qualities)};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR WxH|N [REPEATS] [AVIF_SPEED...]\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> sources;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());

    conversion_parameters parameters;
    const std::string box = argv[2];
    const auto cross = box.find('x');
    parameters.width = std::stoi(box.substr(0, cross));
    parameters.height =
        cross == std::string::npos ? parameters.width : std::stoi(box.substr(cross + 1));
    const int repeats = argc > 3 ? std::stoi(argv[3]) : 3;

    std::printf("| box %s, %d repeats | files | median bytes | median ms | median CPU ms | "
                "median PSNR dB |\n",
                box.c_str(), repeats);
    std::printf("|---|---|---|---|---|---|\n");
    const auto row = [&](const std::string& name, output_format format) {
        const figures measured = measure(sources, parameters, format, repeats);
        std::printf("| %s | %zu | %zu | %.1f | %.1f | %.2f |\n", name.c_str(), measured.files,
                    measured.bytes, measured.milliseconds, measured.processor_milliseconds,
                    measured.psnr);
        std::fflush(stdout);
    };
    row("jpeg", output_format::jpeg);
    row("webp", output_format::webp);
    row("avif (speed " + std::to_string(default_avif_speed) + ")", output_format::avif);
    for (int i = 4; i < argc; ++i) {
        set_avif_speed(std::stoi(argv[i]));
        row("avif speed " + std::string(argv[i]), output_format::avif);
    }
    return 0;
}
