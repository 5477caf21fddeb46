#include "reading.h"

#include <string.h>

#include "lodrix-playlist/lib/system/system.h"

size_t kept_tag_length(const char *text, size_t length) {
    if (length <= most_tag_bytes)
        return length;
    length = most_tag_bytes;
    for (int back = 0; back < 3 && length > 0 && (text[length] & 0xC0) == 0x80; ++back)
        --length;
    return length;
}

std::string reading_error_text(int error) {
    if (error == too_slow)
        return "nach " + std::to_string(longest_read_ms / 1000) + " s nicht zu Ende gelesen";
    if (error == reader_lost)
        return "Leseprozess nicht zu starten";
    if (error == reader_exited)
        return "Leseprozess vorzeitig beendet";
    if (error == not_utf16)
        return "kein gueltiges UTF-16";
    if (error == not_in_encoding)
        return "nicht in der Kodierung von --encoding";
    if (error == needs_converters)
        return "Leseprozess ohne Zeichenumwandlung";
    if (error <= reader_ended_by(0))
        return "Leseprozess durch Signal " + signal_name(reader_ended_by(0) - error) + " beendet";
    return strerror(error);
}
