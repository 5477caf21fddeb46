#include "lodrix-playlist/lib/readers/channel.h"

#include <string.h>

#include "lodrix-playlist/lib/reading/reading_bytes.h"

const char reader_option[] = "--reader=";

static size_t message_size(const Answers &answers) {
    size_t size = sizeof(uint32_t);
    for (uint32_t i = 0; i < answers.count; ++i)
        size += sizeof(uint32_t) + answers.sizes[i];
    return size;
}

bool answers_full(const Answers &answers) {
    return answers.count == most_answers || message_size(answers) >= fullest_answers;
}

void encode_answers(const Answers &answers, std::string &message) {
    message.assign((const char *)&answers.count, sizeof answers.count);
    for (uint32_t i = 0; i < answers.count; ++i) {
        size_t start = message.size();
        message.append(sizeof(uint32_t), '\0');
        encode_reading(answers.readings[i], message);
        uint32_t length = uint32_t(message.size() - start - sizeof length);
        memcpy(&message[start], &length, sizeof length);
    }
}

// What a reader says is not trusted: it may have been taken over by the file it read.
bool decode_answers(const char *message, size_t length, Answers &answers) {
    size_t at = sizeof answers.count;
    bool valid = length >= at;
    if (valid)
        memcpy(&answers.count, message, sizeof answers.count);
    valid = valid && answers.count >= 1 && answers.count <= most_answers;
    for (uint32_t i = 0; valid && i < answers.count; ++i) {
        uint32_t size = 0;
        valid = length - at >= sizeof size;
        if (valid)
            memcpy(&size, message + at, sizeof size);
        at += sizeof size;
        valid = valid && size <= largest_reading && length - at >= size &&
                decode_reading(message + at, size, answers.readings[i]);
        at += size;
    }
    return valid && at == length;
}
