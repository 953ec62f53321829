// Reading an XML file through libexpat in 4096-byte chunks, and the syntax
// error that a rejected document becomes.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include <expat.h>

// windows.h renames GetMessage to GetMessageA or GetMessageW; the member keeps
// its own name in every translation unit, whatever was included before.
#pragma push_macro("GetMessage")
#undef GetMessage

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

// libexpat is C code: an exception must never unwind through its frames. The
// handlers a caller registers run their bodies through this guard, which
// catches what a body raises, stops the parser and keeps the exception until
// ParseFile raises it after XML_Parse has returned. Once stopped, no further
// body runs, even for the events the library still delivers.
class HandlerGuard {
public:
    explicit HandlerGuard(XML_Parser parser) : parser(parser) {}

    template <class Body>
    void Run(Body&& body) noexcept {
        if (pending) return;
        try {
            body();
        } catch (...) {
            pending = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }

    // Raises the kept exception, if a body raised one.
    void RaisePending() const;

private:
    XML_Parser parser;
    std::exception_ptr pending;
};

// Feeds the file at path to the caller's configured parser. Throws
// SyntaxException when the parser rejects it (a missing or empty file
// included). When the handlers run through guard, an exception one of them
// raised comes out instead, unchanged.
void ParseFile(XML_Parser& parser, const std::string& path, const HandlerGuard* guard = nullptr);

} // namespace MXML

#pragma pop_macro("GetMessage")
