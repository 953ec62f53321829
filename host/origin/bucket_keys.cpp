#include "origin/bucket_keys.h"

#include <cstdlib>
#include <fstream>

#include "base/text.h"

namespace quorin::host {
namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

bucket_credentials keys_from_environment() {
    return {variable("AWS_ACCESS_KEY_ID"), variable("AWS_SECRET_ACCESS_KEY"),
            variable("AWS_SESSION_TOKEN")};
}

std::optional<bucket_credentials> keys_from_file(const std::filesystem::path& file,
                                                 const std::string& profile) {
    std::ifstream in(file);
    if (!in) return std::nullopt;
    bucket_credentials keys;
    bool found = false;
    bool in_profile = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#' || text.front() == ';') continue;
        if (text.front() == '[' && text.back() == ']') {
            in_profile = trimmed(text.substr(1, text.size() - 2)) == profile;
            found = found || in_profile;
            continue;
        }
        const auto equals = text.find('=');
        if (!in_profile || equals == std::string_view::npos) continue;
        const std::string_view name = trimmed(text.substr(0, equals));
        const std::string value(trimmed(text.substr(equals + 1)));
        if (name == "aws_access_key_id") keys.access_key = value;
        if (name == "aws_secret_access_key") keys.secret_key = value;
        if (name == "aws_session_token") keys.session_token = value;
    }
    if (!found) return std::nullopt;
    return keys;
}

} // namespace quorin::host
