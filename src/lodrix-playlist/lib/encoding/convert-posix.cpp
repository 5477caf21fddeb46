#include "convert.h"

#include <iconv.h>

// glibc's names for the code pages whose bytes Windows reads the same (Windows' GBK, 936, is
// glibc's CP936; Big5, 950, its BIG5), in the order of Encoding.
static const char *const iconv_names[encoding_count] = {
    nullptr,      "CP1252",     "CP1250",     "CP1251",     "CP936",       "BIG5",        "CP932",
    "CP949",      "EUC-JP",     "KOI8-R",     "ISO-8859-2", "ISO-8859-3",  "ISO-8859-4",  "ISO-8859-5",
    "ISO-8859-6", "ISO-8859-9", "ISO-8859-13", "ISO-8859-15", "UTF-16LE",  "UTF-16BE",
};

static const iconv_t not_open = iconv_t(-1);
// Opened once, kept for the process's life: a reader forked later has them without a file.
static iconv_t converters[encoding_count] = {};
static bool tried[encoding_count] = {};
static bool opened = false, missing = false;

void open_converters(Encoding forced) {
    opened = true;
    for (size_t i = 1; i < encoding_count; ++i) {
        Encoding encoding = Encoding(i);
        bool wanted = forced == Encoding::none || encoding == forced || encoding == Encoding::utf_16le ||
                      encoding == Encoding::utf_16be;
        if (wanted && !tried[i]) {
            converters[i] = iconv_open("UTF-8", iconv_names[i]);
            tried[i] = true;
        }
    }
}

bool converters_opened() { return opened; }

bool converter_was_missing() {
    bool was = missing;
    missing = false;
    return was;
}

bool convert_to_utf8(Encoding encoding, const char *text, size_t length, std::string &utf8) {
    missing = missing || !tried[size_t(encoding)];
    iconv_t converter = tried[size_t(encoding)] ? converters[size_t(encoding)] : not_open;
    if (converter == not_open)
        return false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // A byte becomes at most three of UTF-8 (a euro sign), two at most four.
    utf8.resize(length * 3 + 1);
    char *in = const_cast<char *>(text), *out = &utf8[0];
    size_t in_left = length, out_left = utf8.size();
    if (iconv(converter, &in, &in_left, &out, &out_left) == size_t(-1) ||
        iconv(converter, nullptr, nullptr, &out, &out_left) == size_t(-1))
        return false;
    utf8.resize(utf8.size() - out_left);
    return in_left == 0;
}
