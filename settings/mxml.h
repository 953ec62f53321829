// Reading an XML file through libexpat in 4096-byte chunks, and the syntax
// error that a rejected document becomes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <expat.h>

namespace MXML {

class SyntaxException : public std::domain_error {
public:
    SyntaxException(std::int32_t error_code, std::int32_t byte_index, std::int32_t line_number,
                    std::int32_t column_number);

    // The parser's text for the code, then " at line N, column M".
    virtual void GetMessage(std::string& message) const;
    virtual std::int32_t GetErrorCode() const;
    virtual std::int32_t GetByteIndex() const;
    virtual std::int32_t GetLineNumber() const;
    virtual std::int32_t GetColumnNumber() const;

private:
    std::int32_t error_code;
    std::int32_t byte_index;
    std::int32_t line_number;
    std::int32_t column_number;
};

// Feeds the file at path to the caller's configured parser. Throws
// SyntaxException when the parser rejects it (a missing or empty file
// included); an exception a callback left pending is raised instead.
void ParseFile(XML_Parser& parser, const std::string& path);

} // namespace MXML
