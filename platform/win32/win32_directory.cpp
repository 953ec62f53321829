#include "platform/win32/win32_directory.h"

#include <windows.h>
#include <cstring>

#include "platform/filetime.h"
#include "platform/win32/os_version.h"

namespace quorin::platform::win32 {
namespace {

bool is_dot_or_dot_dot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The system's version does not change while the module runs.
FINDEX_INFO_LEVELS information_level() {
    static const FINDEX_INFO_LEVELS level =
        is_os_version_6_1_or_later() ? FindExInfoBasic : FindExInfoStandard;
    return level;
}

} // namespace

bool list_directory(const std::string& path,
                    const std::function<bool(const directory_entry&)>& visit) {
    const std::string pattern = path + "\\*";
    WIN32_FIND_DATAA found{};
    const HANDLE listing = ::FindFirstFileExA(pattern.c_str(), information_level(), &found,
                                              FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) return false;
    // FindClose, not CloseHandle, ends a listing; a visitor that throws must
    // not leak it.
    struct closer {
        HANDLE listing;
        ~closer() { ::FindClose(listing); }
    } const close{listing};
    do {
        if (is_dot_or_dot_dot(found.cFileName)) continue;
        const directory_entry entry{
            found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
            to_file_time(found.ftCreationTime), to_file_time(found.ftLastAccessTime)};
        if (!visit(entry)) break;
    } while (::FindNextFileA(listing, &found));
    return true;
}

} // namespace quorin::platform::win32
