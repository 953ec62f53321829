// An answer sink that keeps what reaches it, for tests that read answers
// without a connection.
#pragma once

#include <string>
#include <vector>

#include "http/http_request.h"

namespace quorin::test {

struct text_sink final : host::answer_sink {
    std::vector<std::string> writes;
    std::uint64_t expected = 0; // what the last expect() announced

    bool write(const char* data, std::size_t size) override {
        writes.emplace_back(data, size);
        return true;
    }
    void expect(std::uint64_t bytes) override { expected = bytes; }

    std::string all() const {
        std::string text;
        for (const auto& piece : writes) text += piece;
        return text;
    }
};

} // namespace quorin::test
