#include "support/fake_host.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#include "support/native_path.h"

namespace quorin::test {
namespace {

int acquire_memory(FIMEMORY* stream, std::uint8_t** data, std::uint32_t* size) {
    if (stream->acquire_fails) return 0;
    *data = reinterpret_cast<std::uint8_t*>(stream->bytes.data());
    *size = static_cast<std::uint32_t>(stream->bytes.size());
    return 1;
}

const char* mime_type(int format) {
    switch (format) {
    case format_bmp:
        return "image/bmp";
    case format_jpeg:
        return "image/jpeg";
    case format_png:
        return "image/png";
    case format_gif:
        return "image/gif";
    default:
        return nullptr;
    }
}

int file_type(const TrelvaneChar* path, int) {
    std::ifstream file(file_path_of(path), std::ios::binary);
    if (!file) return -1;
    char head[format_head_size];
    file.read(head, sizeof head);
    return format_of_head(std::string_view(head, static_cast<std::size_t>(file.gcount())));
}

int memory_type(FIMEMORY* stream, int) { return format_of_head(stream->bytes); }

std::array<FreeImageFunction, 64> make_table() {
    std::array<FreeImageFunction, 64> table{};
    table[FreeImageAPI_AcquireMemory] = reinterpret_cast<FreeImageFunction>(&acquire_memory);
    table[FreeImageAPI_GetFIFMimeType] = reinterpret_cast<FreeImageFunction>(&mime_type);
    table[FreeImageAPI_GetFileTypeU] = reinterpret_cast<FreeImageFunction>(&file_type);
    table[FreeImageAPI_GetFileTypeFromMemory] = reinterpret_cast<FreeImageFunction>(&memory_type);
    return table;
}

std::array<FreeImageFunction, 64> table = make_table();

std::string padded(std::string magic, std::size_t total_size) {
    magic.resize(total_size < magic.size() ? magic.size() : total_size, '\x5A');
    return magic;
}

recorded_response& response_of(HCONN connection) {
    return *static_cast<recorded_response*>(connection);
}

BOOL write_client(HCONN connection, void* buffer, DWORD* bytes, DWORD) {
    auto& response = response_of(connection);
    response.write_sizes.push_back(*bytes);
    response.body.append(static_cast<const char*>(buffer), *bytes);
    return 1;
}

BOOL server_support(HCONN connection, DWORD request, void* buffer, DWORD*, DWORD* data_type) {
    auto& response = response_of(connection);
    if (request != HSE_REQ_SEND_RESPONSE_HEADER) return 0;
    ++response.header_calls;
    response.status = static_cast<const char*>(buffer);
    response.header_block = reinterpret_cast<const char*>(data_type);
    return 1;
}

} // namespace

int format_of_head(std::string_view head) {
    if (head.starts_with("\x89PNG\r\n\x1a\n")) return format_png;
    if (head.starts_with("\xFF\xD8\xFF")) return format_jpeg;
    if (head.starts_with("GIF8")) return format_gif;
    if (head.starts_with("BM")) return format_bmp;
    if (head.starts_with("NAMELESS")) return format_nameless;
    return -1;
}

std::string png_bytes(std::size_t total_size) { return padded("\x89PNG\r\n\x1a\n", total_size); }
std::string jpeg_bytes(std::size_t total_size) { return padded("\xFF\xD8\xFF\xE0", total_size); }

FreeImageFunction* fake_image_table() { return table.data(); }

fake_image_library::fake_image_library() : previous_(FreeImageAPI) { FreeImageAPI = table.data(); }
fake_image_library::~fake_image_library() { FreeImageAPI = previous_; }

fake_request::fake_request(const char* method) : method_(method) {
    record_.cbSize = sizeof record_;
    record_.ConnID = &response;
    record_.lpszMethod = method_.data();
    record_.WriteClient = &write_client;
    record_.ServerSupportFunction = &server_support;
}

} // namespace quorin::test
