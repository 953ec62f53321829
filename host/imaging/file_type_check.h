// The image library's answer to "what format is this file", found faster.
#pragma once

#include <chrono>
#include <filesystem>

#include "base/file_memo.h"

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// The format code FreeImage_GetFileType gives for `file` (-1 when none),
// reached by the library's own format checks. They read through a stream
// that behaves as the library's stdio one but keeps one window of the file
// in memory and reads with pread: the checks rewind to the start between
// formats, which through stdio costs a seek and a refill each time.
int file_type_of(const std::filesystem::path& file);
// The same for a file already open.
int file_type_of(const os::read_only_file& file);
// The same by path, kept in `memo` per version of a regular file: a file
// seen before and unchanged since costs one stat and no read. `now` as
// file_memo::remember takes it.
int file_type_of(const std::filesystem::path& file, file_memo<int>& memo,
                 std::chrono::system_clock::time_point now);

} // namespace quorin::host
