// A bucket's keys, from the environment or a credentials file in the
// format the provider's own tools write.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "origin/origin_location.h"

namespace quorin::host {

// AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY and AWS_SESSION_TOKEN.
bucket_credentials keys_from_environment();

// The profile `profile` of an INI file ("[default]" with aws_access_key_id,
// aws_secret_access_key and aws_session_token); nullopt when the file
// cannot be read or has no such profile.
std::optional<bucket_credentials> keys_from_file(const std::filesystem::path& file,
                                                 const std::string& profile = "default");

} // namespace quorin::host
