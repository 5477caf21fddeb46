// libFuzzer target over what a reader reads: any bytes as the content of a file under each
// listed extension (the first byte picks it), read as a reader reads a file it is handed.
// Beyond not crashing: the reading is a duration or an error, never a negative length.
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "lodrix-playlist/lib/contents/contents.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

static const char *const extensions[] = {
    "3g2", "3gp", "aac", "ac3", "aif", "aifc", "aiff", "amr", "ape", "asf", "au", "avi", "caf",
    "cue", "dff", "dsf", "dts", "eac3", "flac", "flv", "m2t", "m2ts", "m4a", "m4b", "m4r", "m4v", "mid",
    "midi", "mka", "mkv", "mov", "mp2", "mp3", "mp4", "mpa", "mpc", "mpeg", "mpg", "mts", "oga",
    "ogg", "ogv", "opus", "ra", "rm", "rmvb", "spx", "tak", "ts", "tta", "vob", "w64", "wav",
    "weba", "webm", "wma", "wmv", "wv",
};

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    av_log_set_level(AV_LOG_QUIET);
    // A reader's memory is limited; here FFmpeg's own allocations are, to the same end.
    av_max_alloc(size_t(128) << 20);
    // A reader has the converters open once any file needed them.
    open_converters(Encoding::none);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const char *extension = extensions[data[0] % (sizeof extensions / sizeof extensions[0])];
    int fd = memfd_create("media", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data + 1, size - 1) != ssize_t(size - 1))
        abort();
    static FileContentsReader contents;
    Reading reading = contents.read(fd, int64_t(size - 1), extension);
    close(fd);
    if (reading.duration_ms < 0 || (reading.outcome != Reading::measured && reading.outcome != Reading::unreadable))
        abort();
    // What a reader reads, the program must take back.
    std::string bytes;
    Reading decoded;
    encode_reading(reading, bytes);
    if (bytes.size() != encoded_size(reading) || bytes.size() > largest_reading ||
        !decode_reading(bytes.data(), bytes.size(), decoded) || decoded.duration_ms != reading.duration_ms ||
        decoded.chapters.size() != reading.chapters.size())
        abort();
    return 0;
}
