#include "output.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "xspf.h"

static const char item_line_start[] = "  <vlc:item tid=\"";
static const char item_line_end[] = "\"/>\n";

// The output state, in one place. Everything goes out through one block written only when
// full, so a pipe (64 KiB) takes each write whole and a track entry run makes one write; the
// item loop copies one line past the end, so the block has room for it.
static const size_t block_size = 64 * 1024;
static const size_t longest_item_line = 32;
static char block[block_size + longest_item_line];
static size_t used;
static FILE *stream;
static bool failed;
static int first_error;

void start_output(FILE *to) {
    stream = to;
    // A second buffer would only split the blocks.
    setvbuf(stream, nullptr, _IONBF, 0);
    used = 0;
    failed = false;
    first_error = 0;
}

bool output_failed(void) { return failed; }

static void write_out(const char *bytes, size_t length) {
    errno = 0;
    if (fwrite(bytes, 1, length, stream) == length)
        return;
    failed = true;
    first_error = errno != 0 ? errno : -1;
}

// Writes the full block and carries what was copied past its end to the front.
static bool write_full_block(void) {
    write_out(block, block_size);
    if (failed)
        return false;
    used -= block_size;
    memcpy(block, block + block_size, used);
    return true;
}

void put(const char *text, size_t length) {
    while (length > block_size - used && !failed) {
        size_t room = block_size - used;
        memcpy(block + used, text, room);
        used = block_size;
        text += room;
        length -= room;
        write_full_block();
    }
    if (!failed) {
        memcpy(block + used, text, length);
        used += length;
    }
}

void put_text(const char *text) { put(text, strlen(text)); }

int finish_output(void) {
    if (used > 0 && !failed)
        write_out(block, used);
    used = 0;
    if (!failed && fflush(stream) != 0) {
        failed = true;
        first_error = errno != 0 ? errno : -1;
    }
    return failed ? first_error : 0;
}

// The item list can run to 2^31-1 lines (65 GB), so it is built the way coreutils' seq
// builds its output: one line kept ready with its number as decimal digits counted up in
// place, copied whole into the block, and the block written with one fwrite.
void write_item_lines(int32_t item_count) {
    const size_t first_digit = sizeof item_line_start - 1;
    const size_t end_length = sizeof item_line_end - 1;
    char line[longest_item_line];
    memcpy(line, item_line_start, first_digit);
    line[first_digit] = '1';
    memcpy(line + first_digit + 1, item_line_end, end_length);
    size_t line_length = first_digit + 1 + end_length;
    size_t ones = first_digit;

    static_assert(sizeof item_line_start - 1 + 10 + sizeof item_line_end - 1 <= sizeof line,
                  "the longest item line fits");
    int64_t k = 1;
    while (k <= item_count) {
        // The ones digit goes straight into the block and line changes only every tenth
        // item: copying line right after a store into it stalls, and made the loop 2.6x slower.
        for (char digit = line[ones]; digit <= '9' && k <= item_count; ++digit, ++k) {
            memcpy(block + used, line, sizeof line);
            block[used + ones] = digit;
            used += line_length;
            if (used >= block_size && !write_full_block())
                return;
        }

        size_t i = ones;
        line[i] = '0';
        while (line[--i] == '9')
            line[i] = '0';
        if (i >= first_digit) {
            ++line[i];
        } else {
            // 9...9 became 0...0: one digit more, a leading 1.
            memmove(line + first_digit + 1, line + first_digit, line_length - first_digit);
            line[first_digit] = '1';
            ++line_length;
            ++ones;
        }
    }
}
