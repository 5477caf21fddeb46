#include "reader_channel.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

// One message of exactly the size of value, with an optional descriptor; never SIGPIPE.
template <class Value> static bool send_message(int channel, const Value &value, int fd) {
    iovec part = {const_cast<Value *>(&value), sizeof value};
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
    return sent == ssize_t(sizeof value);
}

// One message of exactly the size of value; the descriptor that came with it in fd (-1 for none).
template <class Value> static bool receive_message(int channel, Value &value, int &fd, int flags = 0) {
    iovec part = {&value, sizeof value};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(channel, &message, MSG_CMSG_CLOEXEC | flags);
    while (got < 0 && errno == EINTR);
    fd = -1;
    for (cmsghdr *header = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr; header; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS && fd < 0)
            memcpy(&fd, CMSG_DATA(header), sizeof fd);
    if (got == ssize_t(sizeof value) && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
        return true;
    if (fd >= 0)
        close(fd);
    fd = -1;
    // The other end has closed, or sent what no message of ours is.
    if (got >= 0)
        errno = ECONNRESET;
    return false;
}

bool send_request(int channel, int fd, const ReadRequest &request) { return send_message(channel, request, fd); }

int receive_request(int channel, ReadRequest &request) {
    int fd;
    if (!receive_message(channel, request, fd))
        return -1;
    if (fd < 0)
        return errno = ECONNRESET, -1;
    request.extension[sizeof request.extension - 1] = '\0';
    return fd;
}

bool send_answers(int channel, const Answers &answers) { return send_message(channel, answers, -1); }

bool receive_answers(int channel, Answers &answers, bool wait) {
    int fd;
    if (!receive_message(channel, answers, fd, wait ? 0 : MSG_DONTWAIT))
        return false;
    if (fd >= 0)
        close(fd);
    // What a reader says is not trusted: it may have been taken over by the file it read.
    bool valid = fd < 0 && answers.count >= 1 && answers.count <= most_answers;
    for (uint32_t i = 0; valid && i < answers.count; ++i)
        valid = (answers.readings[i].outcome == Reading::measured || answers.readings[i].outcome == Reading::unreadable) &&
                answers.readings[i].duration_ms >= 0;
    return valid || (errno = ECONNRESET, false);
}

int poll_request(int channel, ReadRequest &request) {
    int fd;
    if (!receive_message(channel, request, fd, MSG_DONTWAIT))
        return -1;
    if (fd < 0)
        return errno = ECONNRESET, -1;
    request.extension[sizeof request.extension - 1] = '\0';
    return fd;
}
