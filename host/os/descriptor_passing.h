// Messages of a fixed size, with open descriptors riding along, over one
// end of a connected Unix socket pair: how a worker process is handed the
// files it may use, since it cannot open any itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "os/unique_descriptor.h"

namespace quorin::host::os {

// A connected pair of sockets that keep message boundaries; both ends are
// closed on exec, so a child gets one only when it is handed over.
struct socket_pair {
    unique_descriptor first;
    unique_descriptor second;
};
std::optional<socket_pair> make_socket_pair();

// Sends `size` bytes and copies of `descriptors` as one message; false
// when the peer is gone or the send fails.
bool send_message(int socket, const void* data, std::size_t size,
                  std::span<const int> descriptors = {});

// Makes a receive on `socket`, waiting in any thread, return as closed;
// the descriptor stays open.
void shut_down(int socket);

enum class receive_status { received, closed, timed_out, failed };

struct received_message {
    receive_status status = receive_status::failed;
    std::vector<unique_descriptor> descriptors; // when received
};

// Receives one message of exactly `size` bytes into `data` with at most
// `most_descriptors` descriptors; waits at most `timeout` when given.
// A message of another size, or with more descriptors, is `failed`.
received_message receive_message(int socket, void* data, std::size_t size,
                                 std::size_t most_descriptors,
                                 std::optional<std::chrono::milliseconds> timeout = std::nullopt);

} // namespace quorin::host::os
