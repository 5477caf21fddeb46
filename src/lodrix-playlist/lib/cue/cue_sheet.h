#pragma once

#include <stddef.h>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/reading/reading.h"

// Cue sheets are untrusted text (a sheet parser has been a way into desktops before), so
// this reads them in one pass, without recursion, keeping no more than the limits allow.

/// The most bytes of a sheet read: a .cue file that holds more is an error (EFBIG); of a
/// sheet in a tag, the rest is left unread.
const size_t most_sheet_bytes = 1 << 20;

/// Reads the cue sheet the length bytes at text hold (at most most_sheet_bytes of them) into
/// sheet: FILE; TRACK nn AUDIO (other types skipped) with its INDEX 01 mm:ss:ff (75 frames a
/// second, ss < 60, ff < 75); TITLE, PERFORMER, SONGWRITER, REM GENRE, REM DATE and, for the
/// disc, REM DISCNUMBER. Keywords in any case, values quoted or running to the line's end
/// (a FILE's name to its last word, the type), LF, CR LF or CR line ends, a UTF-8 byte-order
/// mark dropped, other lines skipped. Texts stay the bytes the sheet holds, each cut as a
/// reading's are (most_tag_bytes); a FILE's name is kept as written. A track belongs to the
/// FILE its INDEX 01 follows; one without INDEX 01, one that does not start after the one
/// before it in its file, or one past most_cue_tracks is left out, and so is a FILE that is
/// left without tracks or has no name.
void parse_cue_sheet(const char *text, size_t length, CueSheet &sheet);

/// The same for a sheet a media file holds in a tag: its FILE lines are ignored, and all its
/// tracks are the file's own, in one CueFile named "".
void parse_embedded_cue_sheet(const char *text, size_t length, CueSheet &sheet);

/// Reads a .cue file's sheet as parse_cue_sheet does, its text decoded first: UTF-16 where a
/// byte-order mark says so (either endianness); text that is not UTF-8 in forced, else in the
/// code page detected over all its bytes (else Windows-1252, else as the bytes it holds),
/// each FILE's bytes kept beside its decoded name. Returns 0, or not_utf16 or not_in_encoding
/// for a sheet that cannot be decoded so (then sheet has no files).
int read_cue_sheet(const char *text, size_t length, Encoding forced, CueSheet &sheet);

/// The same for a sheet a media file holds in a tag (parse_embedded_cue_sheet); one that
/// cannot be decoded is read as the bytes it holds.
void read_embedded_cue_sheet(const char *text, size_t length, Encoding forced, CueSheet &sheet);
