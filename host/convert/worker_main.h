// The conversion worker: the server's own program started again with a
// hidden argument. It decodes, fits and encodes what the server hands it,
// confined to the files it is handed and a memory limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorin::host {

// The arguments that start a worker whose private memory is capped at
// `memory_limit` bytes (0: no cap) and that encodes AVIF at `avif_speed`.
std::vector<std::string> worker_arguments(std::uint64_t memory_limit, int avif_speed);

// Whether the program's arguments (without its name) start a worker.
bool is_worker_invocation(const std::vector<std::string>& arguments);

// Runs the worker until the server closes its socket. It leaves without
// running destructors or exit handlers: nothing in it needs them, and a
// sanitizer's leak check at exit would need calls the filter refuses.
[[noreturn]] void run_conversion_worker(const std::vector<std::string>& arguments);

} // namespace quorin::host
