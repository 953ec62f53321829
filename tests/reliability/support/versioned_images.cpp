#include "support/versioned_images.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace quorin::test {
namespace {

// 2026-01-01 00:00:00 UTC in seconds since 1601-01-01.
constexpr std::int64_t base_seconds = 13'411'699'200;
constexpr std::uint64_t sub_second_ticks = 1'234'567;
constexpr std::int64_t seconds_1601_to_1970 = 11'644'473'600;

std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdull;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ull;
    return value ^ (value >> 33);
}

std::size_t length_of(int image, int version) {
    const std::uint64_t seed = mix((std::uint64_t(image) << 32) ^ std::uint32_t(version));
    if (seed % 5 == 0) return 4096 * (1 + seed / 5 % 4);
    return 60 + seed % 20'000;
}

int month_number(std::string_view name) {
    static constexpr std::string_view months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (months[i] == name) return i + 1;
    }
    return 0;
}

} // namespace

std::string conversion_of(int image, int version) {
    std::string bytes = "\x89PNG\r\n\x1a\n";
    bytes += "image " + std::to_string(image) + " version " + std::to_string(version) + ";";
    const std::size_t length = length_of(image, version);
    std::uint64_t state = mix((std::uint64_t(version) << 32) ^ std::uint32_t(image) ^ 0x5eed);
    while (bytes.size() < length) {
        state = mix(state + 0x9e3779b97f4a7c15ull);
        bytes.push_back(static_cast<char>(state & 0xFF));
    }
    return bytes;
}

FILETIME source_time_of(int version) {
    const std::uint64_t ticks =
        std::uint64_t(base_seconds + version) * 10'000'000ull + sub_second_ticks;
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

std::optional<int> version_at(std::uint64_t ticks) {
    const std::uint64_t base = std::uint64_t(base_seconds) * 10'000'000ull + sub_second_ticks;
    if (ticks < base || (ticks - base) % 10'000'000ull != 0) return std::nullopt;
    return static_cast<int>((ticks - base) / 10'000'000ull);
}

std::optional<std::string> header_value(std::string_view header_block, std::string_view name) {
    for (std::size_t start = 0; start < header_block.size();) {
        const std::size_t end = header_block.find("\r\n", start);
        if (end == std::string_view::npos) break;
        const std::string_view line = header_block.substr(start, end - start);
        if (line.size() > name.size() + 2 && line.starts_with(name) &&
            line.substr(name.size(), 2) == ": ") {
            return std::string(line.substr(name.size() + 2));
        }
        start = end + 2;
    }
    return std::nullopt;
}

std::optional<int> version_named_by(std::string_view header_block) {
    const auto date = header_value(header_block, "Last-Modified");
    if (!date) return std::nullopt;
    // "Thu, 01 Jan 2026 00:00:05 GMT"
    char weekday[4] = {}, month[4] = {}, zone[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(date->c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d %3s", weekday, &day, month, &year,
                    &hour, &minute, &second, zone) != 8) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const year_month_day ymd{std::chrono::year(year), std::chrono::month(month_number(month)),
                             std::chrono::day(day)};
    if (!ymd.ok()) return std::nullopt;
    const std::int64_t unix_seconds =
        sys_days(ymd).time_since_epoch().count() * 86'400 + hour * 3600 + minute * 60 + second;
    return static_cast<int>(unix_seconds + seconds_1601_to_1970 - base_seconds);
}

image_versions::image_versions(int count)
    : count_(count), versions_(std::make_unique<std::atomic<int>[]>(count)) {
    for (int i = 0; i < count; ++i) versions_[i] = 0;
}

std::u16string key_of(int image) {
    const std::string text = "C:\\images\\set" + std::to_string(image % 3) + "\\sub/img-" +
                             std::to_string(image) + ".png";
    return std::u16string(text.begin(), text.end());
}

} // namespace quorin::test
