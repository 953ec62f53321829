// Where the sources of image requests come from. Either way a request ends
// with a local file found confined below a root: the images directory
// itself, or the folder that keeps copies of an origin's files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "security/source_lookup.h"

namespace quorin::host {

class source_provider {
public:
    virtual ~source_provider() = default;

    // The source the decoded URL path `url_path` names: found below root(),
    // or why not.
    virtual source_lookup find(std::string_view url_path) = 0;

    // Where found sources lie: open_found opens them there, the gallery
    // lists it.
    virtual const source_root& root() const = 0;

    // Where the sources come from, for messages.
    virtual std::string shown() const = 0;

    // Exposition lines of the provider's own counters for /metrics.
    virtual std::string metrics_text() const { return {}; }
};

// The sources are the files below a local directory.
class directory_sources final : public source_provider {
public:
    explicit directory_sources(std::filesystem::path canonical) : root_(std::move(canonical)) {}
    source_lookup find(std::string_view url_path) override { return find_source(root_, url_path); }
    const source_root& root() const override { return root_; }
    std::string shown() const override { return root_.path().string(); }

private:
    source_root root_;
};

} // namespace quorin::host
