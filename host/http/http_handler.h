// What the front asks of whoever answers its requests. The front knows
// this and nothing else of what an answer is made of.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "http/http_request.h"

namespace quorin::host {

class http_handler {
public:
    // An answer made, kept by the front until its bytes have left.
    class answer {
    public:
        virtual ~answer() = default;
    };

    virtual ~http_handler() = default;

    // Writes the whole answer to `request`, which it keeps, into `out`.
    virtual std::unique_ptr<answer> respond(http_request request, answer_sink& out) = 0;

    // The answer has left, or the connection failed, after `bytes_sent`
    // bytes of it (header included) reached the client's connection.
    virtual void sent(answer& made, std::uint64_t bytes_sent) = 0;

    // The front answered a request it could not read with `status` itself;
    // `seen` holds what it read of it.
    virtual void refused(const http_request& seen, int status, std::uint64_t body_bytes_sent,
                         std::chrono::steady_clock::duration time) = 0;
};

} // namespace quorin::host
