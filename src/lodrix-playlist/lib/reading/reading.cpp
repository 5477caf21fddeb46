#include "reading.h"

#include <string.h>


size_t kept_tag_length(const char *text, size_t length) {
    if (length <= most_tag_bytes)
        return length;
    length = most_tag_bytes;
    for (int back = 0; back < 3 && length > 0 && (text[length] & 0xC0) == 0x80; ++back)
        --length;
    return length;
}

