#pragma once

#include <stddef.h>
#include <stdint.h>

// The output block the fragments go through (start_output, finish_output and output_failed
// are in xspf.h): one block written only when full, and the item list built in it.

/// Appends length bytes of text to the block, writing it whenever it is full; nothing once a
/// write failed.
void put(const char *text, size_t length);
void put_text(const char *text);

/// VLC's item lines from 1 to item_count, written into the block in place.
void write_item_lines(int32_t item_count);
