// libFuzzer target over the decoder alone: any bytes as a file's texts (separated by line
// feeds), decoded as detected or in a given encoding (the first byte), taken for ID3's Latin-1
// or not. Beyond not crashing: what comes out is UTF-8, a code page's text holds no character
// no text means, and UTF-8 that is not taken for Latin-1 stays as it was.
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/encoding/encoding.h"

static void check(bool holds) {
    if (!holds)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool opened = (open_converters(Encoding::none), true);
    check(opened);
    if (size == 0)
        return 0;
    Encoding forced = Encoding(data[0] % encoding_count);
    bool read_as_latin1 = (data[0] & 0x80) != 0;
    const std::string all((const char *)data + 1, size - 1);
    std::vector<std::string> texts, given;
    for (size_t at = 0, end; at <= all.size(); at = end + 1) {
        end = std::min(all.find('\n', at), all.size());
        texts.push_back(all.substr(at, end - at));
    }
    given = texts;
    std::vector<std::string *> pointers;
    for (std::string &text : texts)
        pointers.push_back(&text);
    decode_texts(pointers, read_as_latin1, forced, 64);
    for (size_t i = 0; i < texts.size(); ++i) {
        bool was_utf8 = is_utf8(given[i].data(), given[i].size());
        check(texts[i] == given[i] || is_utf8(texts[i].data(), texts[i].size()));
        check(read_as_latin1 || !was_utf8 || texts[i] == given[i]);
    }

    Encoding detected = detect_encoding(all.data(), all.size());
    check(detected != Encoding::none && detected != Encoding::utf_16le && detected != Encoding::utf_16be &&
          size_t(detected) < encoding_count);
    std::string utf8;
    if (forced != Encoding::none && decode_text(forced, all.data(), all.size(), utf8)) {
        check(is_utf8(utf8.data(), utf8.size()));
        for (size_t i = 0; forced != Encoding::utf_16le && forced != Encoding::utf_16be && i + 1 < utf8.size(); ++i)
            check(!((unsigned char)utf8[i] == 0xC2 && (unsigned char)utf8[i + 1] >= 0x80 &&
                    (unsigned char)utf8[i + 1] <= 0x9F));
    }
    return 0;
}
