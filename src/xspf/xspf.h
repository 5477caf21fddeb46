#pragma once

#include <stdint.h>
#include <stdio.h>

// The three fragments a playlist is joined from: one head, a track entry per file, one tail.
// They go out through one 64 KiB block, written to the stream only when full (and by
// finish_output), and nothing more is written after the first failed write.
//
// Every value is written so that any bytes give a well-formed document: "&", "<" and ">"
// become references, a carriage return &#13;, another byte XML cannot carry %XX; in the
// parts of a file path, "%", "#" and "?" become %25, %23 and %3F, so that the location names
// the file.

/// How an "&" in a value reads.
enum class ValueKind {
    /// Text written for the playlist, as lodrix's arguments: an "&" that begins a predefined
    /// or numeric character reference is kept, so names a script escaped itself stay as given.
    text,
    /// A name as the file system holds it: every "&" is an "&".
    literal,
};

/// What a track's location is made of.
enum class LocationForm {
    /// The name alone: a URI as the caller wrote it, in which "%", "#" and "?" stay.
    as_given,
    /// "file://" + directory + "/" + name, both parts of the file's path.
    in_directory,
    /// A path relative to the playlist's own folder: directory + "/" + name, or the name
    /// alone when directory is empty; "./" before it when its first part holds a ":".
    relative,
};

/// One track entry, its fields in the order they are written. A tag is any bytes, written
/// as text (never a URI), as tag_as_utf8 reads it, with "&" "<" ">" as references and a
/// carriage return as &#13;. A null or empty tag writes no element.
struct TrackEntry {
    LocationForm form;
    ValueKind kind;        ///< of directory and name, and of the image's
    const char *directory; ///< not read in the form as_given
    const char *name;
    const char *position;  ///< text, as VLC's vlc:id
    const char *duration;  ///< text, milliseconds for VLC
    const char *title = nullptr;   ///< a tag
    const char *creator = nullptr; ///< a tag
    /// A picture's file, a location like the track's in image_form; no element where null.
    LocationForm image_form = LocationForm::in_directory;
    const char *image_directory = nullptr, *image_name = nullptr;
    const char *album = nullptr; ///< a tag
    uint32_t track_number = 0;   ///< written where greater than 0
    /// Where VLC starts and stops playing the file, in ms: VLC's start-time and stop-time
    /// options, each written where greater than 0.
    int64_t start_ms = 0, stop_ms = 0;
};

/// The text a tag stands for, as UTF-8 into into (room for 4,097 bytes), and its length: a
/// tag that is not well-formed UTF-8 read as Windows-1252, U+0080 to U+009F as the
/// Windows-1252 characters of those bytes, a character XML cannot carry (and a byte that
/// code page leaves undefined) as U+FFFD; at most 4,096 bytes, cut before the character that
/// would pass that.
size_t tag_as_utf8(const char *tag, char *into);

/// Sends the fragments to stream, and makes the block its only buffer. Call it first.
void start_output(FILE *stream);

/// Writes the XML declaration, the opening playlist element, the title and the open track list.
void write_playlist_head(void);

/// The same with title, a tag, as the playlist's title.
void write_playlist_head_titled(const char *title);

/// Writes one track entry.
void write_track_entry(const TrackEntry &entry);

/// Writes the end of the track list, VLC's item list with tids 1 to item_count, and the end
/// of the document.
void write_playlist_tail(int32_t item_count);

/// True once a write failed; the fragments then write nothing more.
bool output_failed(void);

/// Writes what is left in the block and flushes the stream. Returns 0 when everything reached
/// the stream, else the errno of the first failed write (-1 when the C library gave none).
int finish_output(void);
