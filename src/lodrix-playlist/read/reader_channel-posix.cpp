#include "reader_channel.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A reading's fixed part; its three text tags' bytes follow it.
struct Fixed {
    int32_t outcome, error;
    int64_t duration_ms;
    uint32_t track, disc;
    uint32_t lengths[3];
};

// A batch is sent before it passes this, so that a message fits any socket's buffer.
static const size_t fullest_message = 64 * 1024;
static const size_t largest_message = fullest_message + sizeof(Fixed) + 3 * most_tag_bytes + sizeof(uint32_t);

static size_t message_size(const Answers &answers) {
    size_t size = sizeof(uint32_t);
    for (uint32_t i = 0; i < answers.count; ++i) {
        const Tags &tags = answers.readings[i].tags;
        size += sizeof(Fixed) + tags.title.size() + tags.creator.size() + tags.album.size();
    }
    return size;
}

bool answers_full(const Answers &answers) {
    return answers.count == most_answers || message_size(answers) >= fullest_message;
}

bool send_answers(int channel, const Answers &answers) {
    static char message[largest_message];
    size_t used = 0;
    auto put = [&](const void *bytes, size_t length) {
        memcpy(message + used, bytes, length);
        used += length;
    };
    if (message_size(answers) > largest_message)
        return errno = EMSGSIZE, false;
    put(&answers.count, sizeof answers.count);
    for (uint32_t i = 0; i < answers.count; ++i) {
        const Reading &reading = answers.readings[i];
        const std::string *texts[] = {&reading.tags.title, &reading.tags.creator, &reading.tags.album};
        Fixed fixed = {int32_t(reading.outcome), reading.error, reading.duration_ms, reading.tags.track,
                       reading.tags.disc, {uint32_t(texts[0]->size()), uint32_t(texts[1]->size()), uint32_t(texts[2]->size())}};
        put(&fixed, sizeof fixed);
        for (const std::string *text : texts)
            put(text->data(), text->size());
    }
    return send_message(channel, message, used, -1);
}

// What a reader says is not trusted: it may have been taken over by the file it read.
bool receive_answers(int channel, Answers &answers) {
    static thread_local char message[largest_message];
    size_t length;
    int fd;
    if (!receive_message(channel, message, sizeof message, length, fd, 0))
        return false;
    if (fd >= 0)
        close(fd);
    size_t at = sizeof answers.count;
    bool valid = fd < 0 && length >= at;
    if (valid)
        memcpy(&answers.count, message, sizeof answers.count);
    valid = valid && answers.count >= 1 && answers.count <= most_answers;
    for (uint32_t i = 0; valid && i < answers.count; ++i) {
        Fixed fixed;
        valid = length - at >= sizeof fixed;
        if (!valid)
            break;
        memcpy(&fixed, message + at, sizeof fixed);
        at += sizeof fixed;
        Reading &reading = answers.readings[i];
        valid = (fixed.outcome == Reading::measured || fixed.outcome == Reading::unreadable) && fixed.duration_ms >= 0;
        reading = {Reading::Outcome(fixed.outcome), fixed.duration_ms, fixed.error};
        reading.tags.track = fixed.track;
        reading.tags.disc = fixed.disc;
        std::string *texts[] = {&reading.tags.title, &reading.tags.creator, &reading.tags.album};
        for (int k = 0; valid && k < 3; ++k) {
            valid = fixed.lengths[k] <= most_tag_bytes && length - at >= fixed.lengths[k];
            if (valid)
                texts[k]->assign(message + at, fixed.lengths[k]);
            at += valid ? fixed.lengths[k] : 0;
        }
    }
    return (valid && at == length) || (errno = ECONNRESET, false);
}
