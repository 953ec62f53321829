#include "settings/load_settings.h"

#include <memory>

#include "settings/mxml.h"
#include "settings/settings_reader.h"

namespace quorin {

namespace {

struct parser_free {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using parser_handle = std::unique_ptr<XML_ParserStruct, parser_free>;

// What the parser hands every handler: the reader, and the guard that keeps
// the reader's exceptions out of the library's frames.
struct parse_context {
    settings_reader reader;
    MXML::HandlerGuard guard;
};

void XMLCALL start_element(void* user_data, const XML_Char* name, const XML_Char** attributes) {
    auto& context = *static_cast<parse_context*>(user_data);
    context.guard.Run([&] { on_start_element(context.reader, name, attributes); });
}

void XMLCALL end_element(void* user_data, const XML_Char* name) {
    auto& context = *static_cast<parse_context*>(user_data);
    context.guard.Run([&] { on_end_element(context.reader, name); });
}

void XMLCALL character_data(void* user_data, const XML_Char* bytes, int length) {
    auto& context = *static_cast<parse_context*>(user_data);
    context.guard.Run([&] { on_character_data(context.reader, bytes, length); });
}

} // namespace

void load_settings(const std::string& path, module_settings_record& settings) {
    // Freed exactly once on every way out, before an exception reaches the caller.
    const parser_handle owner(XML_ParserCreate(nullptr));
    if (!owner) throw load_exception("cannot create an XML parser");
    XML_Parser parser = owner.get();

    parse_context context{settings_reader{expect_root, {}, &settings}, MXML::HandlerGuard(parser)};
    XML_SetUserData(parser, &context);
    XML_SetElementHandler(parser, start_element, end_element);
    XML_SetCharacterDataHandler(parser, character_data);
    MXML::ParseFile(parser, path, &context.guard);
}

} // namespace quorin
