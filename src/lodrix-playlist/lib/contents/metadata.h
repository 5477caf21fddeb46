#pragma once

#include <stdint.h>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/reading/reading.h"

extern "C" {
#include <libavformat/avformat.h>
}

// What an opened file's headers tell besides its streams: the length as ffprobe reports it,
// the tags, the chapters and a cue sheet the file holds.

/// The duration in microseconds where the headers hold it as ffprobe would take it; 0 where
/// the streams must be probed for it.
int64_t header_duration(const AVFormatContext *context);

/// The file's tags (Tags), chapters in order of start, and the cue sheet it holds, into
/// reading; a sheet leaves the chapters out, since its tracks split the file already. Text that
/// is not UTF-8 in forced, or where that is none, in the code page detected (decode_texts).
void read_metadata(const AVFormatContext *context, Encoding forced, Reading &reading);
