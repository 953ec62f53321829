#include "file_type_check.h"

#include <FreeImage.h>

#include "os/read_only_file.h"
#include "windowed_reader.h"

namespace quorin::host {
namespace {

windowed_reader& reader_of(fi_handle handle) { return *static_cast<windowed_reader*>(handle); }

unsigned DLL_CALLCONV read_proc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return reader_of(handle).read(buffer, size, count);
}
unsigned DLL_CALLCONV write_proc(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV seek_proc(fi_handle handle, long offset, int origin) {
    return reader_of(handle).seek(offset, origin);
}
long DLL_CALLCONV tell_proc(fi_handle handle) { return reader_of(handle).tell(); }

} // namespace

int file_type_of(const os::read_only_file& file) {
    windowed_reader reader(file);
    FreeImageIO io{&read_proc, &write_proc, &seek_proc, &tell_proc};
    return FreeImage_GetFileTypeFromHandle(&io, &reader, 0);
}

int file_type_of(const std::filesystem::path& file) {
    const auto opened = os::read_only_file::open(file.string());
    return opened ? file_type_of(*opened) : FIF_UNKNOWN;
}

} // namespace quorin::host
