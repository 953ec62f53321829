#include "settings/mxml.h"

#include <fstream>
#include <ios>

namespace MXML {

namespace {

constexpr std::streamsize chunk_size = 4096;

} // namespace

SyntaxException::SyntaxException(std::int32_t error_code, std::int32_t byte_index,
                                 std::int32_t line_number, std::int32_t column_number)
    : std::domain_error(""), error_code(error_code), byte_index(byte_index),
      line_number(line_number), column_number(column_number) {}

void SyntaxException::GetMessage(std::string& message) const {
    const XML_LChar* text = XML_ErrorString(static_cast<XML_Error>(error_code));
    // std::to_string is locale-independent: no digit grouping can creep in.
    message = std::string(text ? text : "") + " at line " + std::to_string(line_number) +
              ", column " + std::to_string(column_number);
}

std::int32_t SyntaxException::GetErrorCode() const { return error_code; }
std::int32_t SyntaxException::GetByteIndex() const { return byte_index; }
std::int32_t SyntaxException::GetLineNumber() const { return line_number; }
std::int32_t SyntaxException::GetColumnNumber() const { return column_number; }

void HandlerGuard::RaisePending() const {
    if (pending) std::rethrow_exception(pending);
}

void ParseFile(XML_Parser& parser, const std::string& path, const HandlerGuard* guard) {
    // A file that cannot be opened leaves the stream failed: its one read
    // delivers nothing, and the parser reports the empty document.
    std::ifstream file(path);
    char buffer[chunk_size];
    // The loop ends with the chunk marked final rather than on end of file:
    // a failed stream never reaches end of file, and a finished parser must
    // not be fed again.
    for (bool is_final = false; !is_final;) {
        file.read(buffer, chunk_size);
        const std::streamsize length = file.gcount();
        is_final = length < chunk_size;
        if (XML_Parse(parser, buffer, static_cast<int>(length), is_final) != XML_STATUS_ERROR)
            continue;
        if (guard) guard->RaisePending();
        const auto error_code = static_cast<std::int32_t>(XML_GetErrorCode(parser));
        const auto byte_index = static_cast<std::int32_t>(XML_GetCurrentByteIndex(parser));
        const auto line_number = static_cast<std::int32_t>(XML_GetCurrentLineNumber(parser));
        const auto column_number = static_cast<std::int32_t>(XML_GetCurrentColumnNumber(parser));
        throw SyntaxException(error_code, byte_index, line_number, column_number);
    }
}

} // namespace MXML
