#include "file_type_check.h"

#include <FreeImage.h>

#include "os/read_only_file.h"
#include "windowed_reader.h"

namespace quorin::host {

int file_type_of(const os::read_only_file& file) {
    windowed_reader reader(file);
    return FreeImage_GetFileTypeFromHandle(windowed_reader_io(), &reader, 0);
}

int file_type_of(const std::filesystem::path& file) {
    const auto opened = os::read_only_file::open(file.string());
    return opened ? file_type_of(*opened) : FIF_UNKNOWN;
}

} // namespace quorin::host
