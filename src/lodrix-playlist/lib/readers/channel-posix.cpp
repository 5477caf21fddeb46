#include "lodrix-playlist/lib/readers/channel.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

// One message of length bytes, with fd_count descriptors; never SIGPIPE.
static bool send_message(int channel, const void *bytes, size_t length, const int *fds, size_t fd_count) {
    iovec part = {const_cast<void *>(bytes), length};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * most_requests)];
    if (fd_count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * fd_count);
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * fd_count);
        memcpy(CMSG_DATA(header), fds, sizeof(int) * fd_count);
    }
    ssize_t sent;
    do
        sent = sendmsg(channel, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(length);
}

static void close_all(const int *fds, size_t count) {
    for (size_t i = 0; i < count; ++i)
        close(fds[i]);
}

// One message of at most capacity bytes, its length in length; the descriptors that came
// with it in fds, fd_count of them (the kernel closes those past most_requests). A message
// that does not fit is none.
static bool receive_message(int channel, void *bytes, size_t capacity, size_t &length, int *fds, size_t &fd_count,
                            int flags) {
    iovec part = {bytes, capacity};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * most_requests)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(channel, &message, MSG_CMSG_CLOEXEC | flags);
    while (got < 0 && errno == EINTR && !(flags & MSG_DONTWAIT));
    fd_count = 0;
    for (cmsghdr *header = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr; header; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS && fd_count == 0) {
            fd_count = std::min<size_t>((header->cmsg_len - CMSG_LEN(0)) / sizeof(int), most_requests);
            memcpy(fds, CMSG_DATA(header), sizeof(int) * fd_count);
        }
    if (got > 0 && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        length = size_t(got);
        return true;
    }
    close_all(fds, fd_count);
    fd_count = 0;
    // The other end has closed, or sent what no message of ours is.
    if (got >= 0)
        errno = ECONNRESET;
    return false;
}

bool send_requests(int channel, const ReadRequests &requests) {
    return send_message(channel, requests.requests, sizeof(ReadRequest) * requests.count, requests.fds,
                        requests.count);
}

// A message of requests and as many descriptors as requests.
static bool received_requests(int channel, ReadRequests &requests, int flags) {
    size_t length, fd_count;
    if (!receive_message(channel, requests.requests, sizeof requests.requests, length, requests.fds, fd_count, flags))
        return false;
    if (fd_count == 0 || length != sizeof(ReadRequest) * fd_count) {
        close_all(requests.fds, fd_count);
        return errno = ECONNRESET, false;
    }
    requests.count = uint32_t(fd_count);
    for (ReadRequest &request : requests.requests)
        request.extension[sizeof request.extension - 1] = '\0';
    return true;
}

bool receive_requests(int channel, ReadRequests &requests) { return received_requests(channel, requests, 0); }

bool poll_requests(int channel, ReadRequests &requests) { return received_requests(channel, requests, MSG_DONTWAIT); }

bool send_answers(int channel, const Answers &answers) {
    static std::string message;
    encode_answers(answers, message);
    return send_message(channel, message.data(), message.size(), nullptr, 0);
}

// What a reader says is not trusted: it may have been taken over by the file it read.
bool receive_answers(int channel, Answers &answers) {
    // Not filled beforehand: only the pages a message reaches are ever touched.
    static thread_local std::unique_ptr<char[]> message(new char[largest_answers]);
    size_t length, fd_count;
    int fds[most_requests];
    if (!receive_message(channel, message.get(), largest_answers, length, fds, fd_count, 0))
        return false;
    close_all(fds, fd_count);
    return (fd_count == 0 && decode_answers(message.get(), length, answers)) || (errno = ECONNRESET, false);
}
