#include "convert.h"

#include <limits.h>
#include <windows.h>

// The code page numbers, in the order of Encoding (UTF-16 needs none).
static const UINT code_pages[encoding_count] = {
    0, 1252, 1250, 1251, 936, 950, 932, 949, 20932, 20866, 28592, 28593, 28594, 28595, 28596, 28599, 28603, 28605, 0, 0,
};

// Windows keeps its code pages itself.
void open_converters(Encoding) {}
bool converters_opened() { return true; }
bool converter_was_missing() { return false; }

bool convert_to_utf8(Encoding encoding, const char *text, size_t length, std::string &utf8) {
    if (length > INT_MAX / 4)
        return false;
    std::wstring wide;
    if (encoding == Encoding::utf_16le || encoding == Encoding::utf_16be) {
        if (length % 2 != 0)
            return false;
        wide.resize(length / 2);
        for (size_t i = 0; i < wide.size(); ++i) {
            unsigned char first = (unsigned char)text[2 * i], second = (unsigned char)text[2 * i + 1];
            wide[i] = wchar_t(encoding == Encoding::utf_16le ? first | second << 8 : first << 8 | second);
        }
    } else if (length > 0) {
        UINT code_page = code_pages[size_t(encoding)];
        int wide_length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, int(length), nullptr, 0);
        if (wide_length <= 0)
            return false;
        wide.resize(size_t(wide_length));
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, int(length), &wide[0], wide_length);
    }
    utf8.clear();
    if (wide.empty())
        return true;
    int utf8_length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                          nullptr, nullptr);
    if (utf8_length <= 0)
        return false;
    utf8.resize(size_t(utf8_length));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), &utf8[0], utf8_length, nullptr,
                        nullptr);
    return true;
}
