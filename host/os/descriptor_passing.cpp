#include "os/descriptor_passing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace quorin::host::os {
namespace {

// Room for the control data of this many descriptors; more are never sent.
constexpr std::size_t most_passed = 4;

// Waits until `socket` can be read or has closed; false when `timeout`
// passed first.
bool wait_readable(int socket, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{socket, POLLIN, 0};
        // Rounded up, so that a wait never ends just before its deadline.
        const int ready =
            ::poll(&watched, 1, static_cast<int>(std::max<long long>(left.count() + 1, 0)));
        if (ready > 0) return true;
        if (ready == 0 && std::chrono::steady_clock::now() >= deadline) return false;
        if (ready < 0 && errno != EINTR) return true; // the receive tells what went wrong
    }
}

} // namespace

std::optional<socket_pair> make_socket_pair() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return std::nullopt;
    return socket_pair{unique_descriptor(ends[0]), unique_descriptor(ends[1])};
}

void shut_down(int socket) { ::shutdown(socket, SHUT_RDWR); }

bool send_message(int socket, const void* data, std::size_t size,
                  std::span<const int> descriptors) {
    if (descriptors.size() > most_passed) return false;
    iovec piece{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * most_passed)] = {};
    if (!descriptors.empty()) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
        std::memcpy(CMSG_DATA(header), descriptors.data(), sizeof(int) * descriptors.size());
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<std::size_t>(sent) == size;
        if (errno != EINTR) return false;
    }
}

received_message receive_message(int socket, void* data, std::size_t size,
                                 std::size_t most_descriptors,
                                 std::optional<std::chrono::milliseconds> timeout) {
    received_message result;
    if (timeout && !wait_readable(socket, *timeout)) {
        result.status = receive_status::timed_out;
        return result;
    }
    iovec piece{data, size};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * most_passed)] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got = 0;
    do {
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        result.status = receive_status::closed;
        return result;
    }
    // Every descriptor that arrived is owned here, so that none leaks
    // whatever the message turns out to be.
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof descriptor);
            result.descriptors.emplace_back(descriptor);
        }
    }
    const bool whole = got == static_cast<ssize_t>(size) &&
                       (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 &&
                       result.descriptors.size() <= most_descriptors;
    result.status = whole ? receive_status::received : receive_status::failed;
    if (!whole) result.descriptors.clear();
    return result;
}

} // namespace quorin::host::os
