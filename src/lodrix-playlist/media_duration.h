#pragma once

#include <stdint.h>

#include <string>

/// The playing time of the media file at path in milliseconds, rounded, as FFmpeg's
/// libavformat reads it: the container's duration when its header has one, a probe of the
/// streams only when it has none. 0 when it cannot be told (not media, truncated, garbage).
int64_t media_duration_ms(const std::string &path);
