#include "imaging/file_type_check.h"

#include <FreeImage.h>

#include "imaging/heif_formats.h"
#include "imaging/reader_io.h"
#include "imaging/windowed_reader.h"
#include "os/read_only_file.h"

namespace quorin::host {

int file_type_of(const os::read_only_file& file) {
    register_heif_formats();
    windowed_reader reader(file);
    return FreeImage_GetFileTypeFromHandle(reader_io<windowed_reader>(), &reader, 0);
}

int file_type_of(const std::filesystem::path& file) {
    const auto opened = os::read_only_file::open(file.string());
    return opened ? file_type_of(*opened) : FIF_UNKNOWN;
}

int file_type_of(const std::filesystem::path& file, file_memo<int>& memo,
                 std::chrono::system_clock::time_point now) {
    const auto seen = os::identity_of_regular(file.string());
    // A file that is not settled yet is not remembered: the stat is all
    // it adds to the reading.
    if (!seen || !settled(*seen, now)) return file_type_of(file);
    if (const auto known = memo.find(*seen)) return *known;
    const auto opened = os::read_only_file::open(file.string());
    if (!opened) return FIF_UNKNOWN;
    const int type = file_type_of(*opened);
    // Kept under the identity of the file read, whatever the path names
    // by now.
    if (const auto identity = opened->identity_if_regular()) memo.remember(*identity, type, now);
    return type;
}

} // namespace quorin::host
