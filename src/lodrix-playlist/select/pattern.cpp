#include "pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <new>

bool Pattern::compile(const std::string &text, std::string &reason) {
    int error;
    PCRE2_SIZE offset;
    // A file name need not be UTF-8: its other bytes then match nothing, instead of failing.
    pcre2_code *compiled = pcre2_compile((PCRE2_SPTR)text.data(), text.size(),
                                         PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
    if (compiled == nullptr) {
        PCRE2_UCHAR message[256];
        int length = pcre2_get_error_message(error, message, sizeof message);
        reason = length > 0 ? std::string((const char *)message, size_t(length)) : std::to_string(error);
        return false;
    }
    source = text;
    code.reset(compiled, pcre2_code_free);
    match_data.reset(pcre2_match_data_create_from_pattern(compiled, nullptr), pcre2_match_data_free);
    if (!match_data)
        throw std::bad_alloc();
    return true;
}

bool Pattern::found_in(const std::string &text) const {
    return pcre2_match(code.get(), (PCRE2_SPTR)text.data(), text.size(), 0, 0, match_data.get(), nullptr) >= 0;
}
