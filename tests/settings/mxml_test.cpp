#include "settings/mxml.h"

#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace MXML {
namespace {

std::string message_of(const SyntaxException& error) {
    std::string message = "stale";
    error.GetMessage(message);
    return message;
}

TEST(SyntaxException, carries_its_four_values_through_a_copy) {
    const SyntaxException original(7, 1234, 7, 2);
    const SyntaxException copy(original);
    EXPECT_EQ(copy.GetErrorCode(), 7);
    EXPECT_EQ(copy.GetByteIndex(), 1234);
    EXPECT_EQ(copy.GetLineNumber(), 7);
    EXPECT_EQ(copy.GetColumnNumber(), 2);
    EXPECT_STREQ(copy.what(), "");
    EXPECT_EQ(message_of(copy), "mismatched tag at line 7, column 2");
}

TEST(SyntaxException, message_of_a_code_without_text_keeps_the_position) {
    EXPECT_EQ(message_of(SyntaxException(99999, 5, 3, -1)), " at line 3, column -1");
}

struct parser_free {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// A bare parser that counts the handler bodies that run.
class parse_file_test : public ::testing::Test {
protected:
    quorin::test::temp_dir dir;
    std::unique_ptr<XML_ParserStruct, parser_free> owner{XML_ParserCreate(nullptr)};
    XML_Parser parser = owner.get();

    std::string write(const std::string& document) {
        const auto path = dir.path() / "document.xml";
        quorin::test::write_file(path, document);
        return path.string();
    }

    SyntaxException parse_failure(const std::string& path) {
        try {
            ParseFile(parser, path);
        } catch (const SyntaxException& error) {
            return error;
        }
        ADD_FAILURE() << "no syntax error";
        return SyntaxException(0, 0, 0, 0);
    }
};

// The byte index libexpat reports for a document of no bytes at all: -1 up
// to Debian's 2.5.0-1+deb12u1, 0 from the backport of the fix for
// CVE-2023-52425 on.
XML_Index empty_document_byte_index() {
    const std::unique_ptr<XML_ParserStruct, parser_free> reference{XML_ParserCreate(nullptr)};
    XML_Parse(reference.get(), "", 0, XML_TRUE);
    return XML_GetCurrentByteIndex(reference.get());
}

TEST_F(parse_file_test, missing_and_empty_files_are_an_empty_document) {
    for (const auto& path : {(dir.path() / "absent.xml").string(), write("")}) {
        XML_ParserReset(parser, nullptr);
        const SyntaxException error = parse_failure(path);
        EXPECT_EQ(error.GetErrorCode(), XML_ERROR_NO_ELEMENTS) << path;
        EXPECT_EQ(error.GetByteIndex(), empty_document_byte_index()) << path;
        EXPECT_EQ(error.GetLineNumber(), 1) << path;
        EXPECT_EQ(error.GetColumnNumber(), 0) << path;
        EXPECT_EQ(message_of(error), "no element found at line 1, column 0") << path;
    }
}

TEST_F(parse_file_test, reports_the_position_counted_across_chunks) {
    // Line 7 holds a mismatched end tag, well past the first chunk; the
    // parser points at its name, column 2.
    const std::string document = "<r>\n<a>\n" + std::string(5000, ' ') + "\n\n\n\n</b>\n</r>\n";
    const SyntaxException error = parse_failure(write(document));
    EXPECT_EQ(error.GetErrorCode(), XML_ERROR_TAG_MISMATCH);
    EXPECT_EQ(error.GetByteIndex(), static_cast<std::int32_t>(document.find("</b>") + 2));
    EXPECT_EQ(error.GetLineNumber(), 7);
    EXPECT_EQ(error.GetColumnNumber(), 2);
}

TEST_F(parse_file_test, a_document_of_whole_chunks_still_gets_its_final_call) {
    // Cut off inside the root: only the final call can tell.
    const std::string document = "<r>" + std::string(4096 - 3, ' ');
    const SyntaxException error = parse_failure(write(document));
    EXPECT_EQ(error.GetErrorCode(), XML_ERROR_NO_ELEMENTS);

    XML_ParserReset(parser, nullptr);
    EXPECT_NO_THROW(ParseFile(parser, write("<r>" + std::string(4096 - 7, ' ') + "</r>")));
}

struct counting_handlers {
    HandlerGuard guard;
    int starts = 0;
    int ends = 0;
};

void XMLCALL count_start(void* data, const XML_Char* name, const XML_Char**) {
    auto& handlers = *static_cast<counting_handlers*>(data);
    handlers.guard.Run([&] {
        ++handlers.starts;
        if (std::string(name) == "boom") throw std::runtime_error("from a handler");
    });
}

void XMLCALL count_end(void* data, const XML_Char*) {
    auto& handlers = *static_cast<counting_handlers*>(data);
    handlers.guard.Run([&] { ++handlers.ends; });
}

TEST_F(parse_file_test, a_handler_exception_stops_the_parse_and_comes_out_unchanged) {
    counting_handlers handlers{HandlerGuard(parser)};
    XML_SetUserData(parser, &handlers);
    XML_SetElementHandler(parser, count_start, count_end);
    // The empty element's end tag is still delivered by the library after the stop.
    const std::string path = write("<r><boom/><after/></r>");
    try {
        ParseFile(parser, path, &handlers.guard);
        FAIL() << "nothing raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "from a handler");
    }
    EXPECT_EQ(handlers.starts, 2);
    EXPECT_EQ(handlers.ends, 0);
}

} // namespace
} // namespace MXML
