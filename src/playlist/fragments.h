#pragma once

#include <stdint.h>

// The three fragments a playlist is joined from: one head, a track entry per run, one tail.
// They gather their text in one 64 KiB block that goes to standard output whole, and stop at
// its first write error; the caller reads that from ferror(stdout) after
// flush_playlist_output.
//
// Every inserted text is written so that any bytes give a well-formed document: "&", "<" and
// ">" become references, except an "&" that already begins a predefined or numeric character
// reference, which is kept; a byte XML cannot carry becomes %XX. In a location made of
// directory and name, "%", "#" and "?" become %25, %23 and %3F, so that it names the file.

/// Writes the XML declaration, the opening playlist element, the title and the open track list.
void write_playlist_head(void);

/// Writes one track entry. Its location is media_name, or with prefix_directory
/// "file://" + directory + "/" + media_name (a null directory counts as empty).
void write_track_entry(bool prefix_directory, const char *directory, const char *media_name,
                       const char *duration, const char *track_position);

/// Writes the end of the track list, VLC's item list with tids 1 to item_count, and the end
/// of the document.
void write_playlist_tail(int32_t item_count);

/// Writes what the fragments have left in the block. Call it once, after the last fragment.
void flush_playlist_output(void);
