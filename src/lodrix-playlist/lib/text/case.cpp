#include "case.h"

#include <stdlib.h>

#include <algorithm>
#include <new>

#include <utf8proc.h>

#include "text.h"
#include "xspf/xspf.h"

// The text mapped by utf8proc with options; a text that is not UTF-8 read as a tag is.
static std::string mapped(const std::string &text, utf8proc_option_t options) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; }))
        return lowercase(text);
    utf8proc_uint8_t *result = nullptr;
    utf8proc_ssize_t length =
        utf8proc_map((const utf8proc_uint8_t *)text.data(), utf8proc_ssize_t(text.size()), &result, options);
    if (length < 0) {
        // tag_as_utf8 writes at most 4,096 bytes.
        static char shown[4096 + 1];
        length = utf8proc_map((const utf8proc_uint8_t *)shown, utf8proc_ssize_t(tag_as_utf8(text.c_str(), shown)),
                              &result, options);
    }
    std::string mapped_text = length > 0 ? std::string((const char *)result, size_t(length)) : std::string();
    free(result);
    if (length == UTF8PROC_ERROR_NOMEM)
        throw std::bad_alloc();
    return mapped_text;
}

std::string case_folded(const std::string &text) {
    return mapped(text, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_COMPAT | UTF8PROC_CASEFOLD |
                                          UTF8PROC_IGNORE));
}

std::string base_letters(const std::string &text) {
    return mapped(text, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE | UTF8PROC_COMPAT | UTF8PROC_CASEFOLD |
                                          UTF8PROC_IGNORE | UTF8PROC_STRIPMARK));
}

