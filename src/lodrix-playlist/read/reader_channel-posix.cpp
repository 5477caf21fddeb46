#include "reader_channel.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "reading_format.h"

// One message of length bytes, with an optional descriptor; never SIGPIPE.
static bool send_message(int channel, const void *bytes, size_t length, int fd) {
    iovec part = {const_cast<void *>(bytes), length};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    ssize_t sent;
    do
        sent = sendmsg(channel, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(length);
}

// One message of at most capacity bytes, its length in length; the descriptor that came
// with it in fd (-1 for none). A message that does not fit is none.
static bool receive_message(int channel, void *bytes, size_t capacity, size_t &length, int &fd, int flags) {
    iovec part = {bytes, capacity};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(channel, &message, MSG_CMSG_CLOEXEC | flags);
    while (got < 0 && errno == EINTR && !(flags & MSG_DONTWAIT));
    fd = -1;
    for (cmsghdr *header = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr; header; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS && fd < 0)
            memcpy(&fd, CMSG_DATA(header), sizeof fd);
    if (got > 0 && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        length = size_t(got);
        return true;
    }
    if (fd >= 0)
        close(fd);
    fd = -1;
    // The other end has closed, or sent what no message of ours is.
    if (got >= 0)
        errno = ECONNRESET;
    return false;
}

bool send_request(int channel, int fd, const ReadRequest &request) {
    return send_message(channel, &request, sizeof request, fd);
}

static int received_request(int channel, ReadRequest &request, int flags) {
    int fd;
    size_t length;
    if (!receive_message(channel, &request, sizeof request, length, fd, flags))
        return -1;
    if (fd < 0 || length != sizeof request) {
        if (fd >= 0)
            close(fd);
        return errno = ECONNRESET, -1;
    }
    request.extension[sizeof request.extension - 1] = '\0';
    return fd;
}

int receive_request(int channel, ReadRequest &request) { return received_request(channel, request, 0); }

int poll_request(int channel, ReadRequest &request) { return received_request(channel, request, MSG_DONTWAIT); }

// A batch is sent once it passes this, so that a message fits any local socket's buffer with
// the largest reading after it.
static const size_t fullest_message = 16 * 1024;
static const size_t largest_message = fullest_message + most_answers * (sizeof(uint32_t) + largest_reading);

static size_t message_size(const Answers &answers) {
    size_t size = sizeof(uint32_t);
    for (uint32_t i = 0; i < answers.count; ++i)
        size += sizeof(uint32_t) + answers.sizes[i];
    return size;
}

bool answers_full(const Answers &answers) {
    return answers.count == most_answers || message_size(answers) >= fullest_message;
}

// A message: the count of readings, then each one's length and bytes.
bool send_answers(int channel, const Answers &answers) {
    static std::string message;
    message.assign((const char *)&answers.count, sizeof answers.count);
    for (uint32_t i = 0; i < answers.count; ++i) {
        size_t start = message.size();
        message.append(sizeof(uint32_t), '\0');
        encode_reading(answers.readings[i], message);
        uint32_t length = uint32_t(message.size() - start - sizeof length);
        memcpy(&message[start], &length, sizeof length);
    }
    return send_message(channel, message.data(), message.size(), -1);
}

// What a reader says is not trusted: it may have been taken over by the file it read.
bool receive_answers(int channel, Answers &answers) {
    // Not filled beforehand: only the pages a message reaches are ever touched.
    static thread_local std::unique_ptr<char[]> message(new char[largest_message]);
    size_t length;
    int fd;
    if (!receive_message(channel, message.get(), largest_message, length, fd, 0))
        return false;
    if (fd >= 0)
        close(fd);
    size_t at = sizeof answers.count;
    bool valid = fd < 0 && length >= at;
    if (valid)
        memcpy(&answers.count, message.get(), sizeof answers.count);
    valid = valid && answers.count >= 1 && answers.count <= most_answers;
    for (uint32_t i = 0; valid && i < answers.count; ++i) {
        uint32_t size = 0;
        valid = length - at >= sizeof size;
        if (valid)
            memcpy(&size, message.get() + at, sizeof size);
        at += sizeof size;
        valid = valid && size <= largest_reading && length - at >= size &&
                decode_reading(message.get() + at, size, answers.readings[i]);
        at += size;
    }
    return (valid && at == length) || (errno = ECONNRESET, false);
}
