// What a request needs from a source's bytes before the module is asked:
// its format and the size it shows. Read from the file's head, and kept
// per file version, so that hits on an unchanged source read nothing.
#pragma once

#include <chrono>
#include <optional>

#include "base/file_memo.h"
#include "imaging/image_codec.h"

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

struct source_facts {
    std::optional<int> format;           // the library's code, when it reads the file
    std::optional<source_header> header; // when the header alone tells it
    friend bool operator==(const source_facts&, const source_facts&) = default;
};

// Read from the file itself.
source_facts read_source_facts(const os::read_only_file& source);

class source_facts_memo {
public:
    explicit source_facts_memo(std::size_t capacity = 1024) : memo_(capacity) {}

    // The facts remembered for the version `identity` names, if any.
    std::optional<source_facts> known(const os::file_identity& identity) {
        return memo_.find(identity);
    }

    // The facts of the version `identity` names of the open `source`;
    // `now` as file_memo::remember takes it.
    source_facts of(const os::read_only_file& source, const os::file_identity& identity,
                    std::chrono::system_clock::time_point now);

private:
    file_memo<source_facts> memo_;
};

} // namespace quorin::host
