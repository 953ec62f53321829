// The lines every answer starts with: the status line, Date, Connection
// and nosniff.
#pragma once

#include <string>
#include <string_view>

namespace quorin::host {

// Appends "HTTP/1.1 <status_text>", Date, Connection and
// X-Content-Type-Options lines to `head`.
void append_answer_head(std::string& head, std::string_view status_text, bool keep_alive);

} // namespace quorin::host
