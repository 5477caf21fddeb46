#include "demuxers.h"

#include <string.h>

#include "lodrix-playlist/lib/text/extensions.h"

const char single_file_demuxers[] =
    "aac,ac3,aiff,amr,ape,asf,au,avi,caf,dsf,dts,eac3,flac,flv,live_flv,h264,hevc,iff,loas,"
    "matroska,mlp,mov,mp3,mpc,mpc8,mpeg,mpegts,mpegvideo,nut,ogg,rm,tak,truehd,tta,w64,wav,wv";

// How each demuxer's files begin: "?" stands for any byte. The audio demuxers that FFmpeg
// lets an ID3v2 tag precede are matched after it.
static const struct {
    const char *demuxer, *start;
    size_t length;
} file_starts[] = {
    {"wav", "RIFF????WAVE", 12},  {"wav", "RF64????WAVE", 12},  {"wav", "BW64????WAVE", 12},
    {"avi", "RIFF????AVI ", 12},  {"aiff", "FORM????AIFF", 12}, {"aiff", "FORM????AIFC", 12},
    {"mov", "????ftyp", 8},       {"mov", "????moov", 8},       {"mov", "????mdat", 8},
    {"mov", "????free", 8},       {"mov", "????wide", 8},       {"mov", "????skip", 8},
    {"matroska", "\x1a\x45\xdf\xa3", 4}, {"ogg", "OggS", 4},   {"flac", "fLaC", 4},
    {"asf", "\x30\x26\xb2\x75\x8e\x66\xcf\x11", 8},         {"flv", "FLV\x01", 4},
    {"ape", "MAC ", 4},           {"wv", "wvpk", 4},            {"mpc", "MP+", 3},
    {"mpeg", "\x00\x00\x01\xba", 4}, {"aac", "ADIF", 4},      {"amr", "#!AMR", 5},
    {"au", ".snd", 4},            {"caf", "caff\x00\x01", 6},   {"tta", "TTA1", 4},
    {"tak", "tBaK", 4},           {"rm", ".RMF\x00\x00", 6},    {"rm", ".ra\xfd", 4},
    {"dsf", "DSD \x1c\0\0\0\0\0\0\0", 12}, {"iff", "FRM8????????DSD ", 16},
    {"w64", "riff\x2e\x91\xcf\x11\xa5\xd6\x28\xdb\x04\xc1\x00\x00", 16},
};

static bool begins_with(const unsigned char *head, size_t length, const char *start, size_t start_length) {
    if (length < start_length)
        return false;
    for (size_t i = 0; i < start_length; ++i)
        if (start[i] != '?' && (unsigned char)start[i] != head[i])
            return false;
    return true;
}

// An MPEG audio frame header (layer I to III): sync, and no reserved version, layer, bit
// rate or sample rate. ADTS (layer 0) is AAC's.
static bool is_mpeg_audio_frame(const unsigned char *h) {
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && (h[1] & 0x18) != 0x08 && (h[1] & 0x06) != 0 &&
           (h[2] & 0xF0) != 0xF0 && (h[2] & 0x0C) != 0x0C;
}

static bool is_adts_frame(const unsigned char *h) { return h[0] == 0xFF && (h[1] & 0xF6) == 0xF0; }

// True when the file's first bytes are those of the demuxer's files.
static bool begins_as(const char *demuxer, const Head &file, int fd) {
    unsigned char head[400];
    int64_t at = 0;
    int64_t length = read_at(file, fd, head, sizeof head, at);
    bool after_tags = strcmp(demuxer, "mp3") == 0 || strcmp(demuxer, "aac") == 0 || strcmp(demuxer, "flac") == 0 ||
                      strcmp(demuxer, "tta") == 0 || strcmp(demuxer, "tak") == 0;
    // ID3v2 tags, as FFmpeg skips them: "ID3", a version, flags, a 28-bit size (+ a footer).
    while (after_tags && length >= 10 && memcmp(head, "ID3", 3) == 0 && head[3] != 0xFF && head[4] != 0xFF &&
           ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0) {
        at += 10 + (head[6] << 21 | head[7] << 14 | head[8] << 7 | head[9]) + (head[5] & 0x10 ? 10 : 0);
        length = read_at(file, fd, head, sizeof head, at);
    }
    if (length < 4)
        return false;
    if (strcmp(demuxer, "mp3") == 0) {
        int64_t i = 0;
        while (i + 4 < length && head[i] == 0)
            ++i;
        return is_mpeg_audio_frame(head + i);
    }
    if (strcmp(demuxer, "aac") == 0 && is_adts_frame(head))
        return true;
    // Transport streams: a sync byte every 188 bytes, or every 192 with a 4-byte time code.
    if (strcmp(demuxer, "mpegts") == 0)
        return (length > 188 && head[0] == 0x47 && head[188] == 0x47) ||
               (length > 196 && head[4] == 0x47 && head[196] == 0x47);
    for (const auto &start : file_starts)
        if (strcmp(start.demuxer, demuxer) == 0 && begins_with(head, length, start.start, start.length))
            return true;
    return false;
}

const AVInputFormat *demuxer_for(const std::string &extension, const Head &head, int fd) {
    // Looking a demuxer up by name walks all of them: once per extension that is asked for,
    // in each reader (plain pointers: a thread's own storage holds nothing to destroy).
    static thread_local const AVInputFormat *demuxers[64];
    for (size_t i = 0; i < media_extension_count && i < 64; ++i)
        if (extension == media_extensions[i].extension) {
            const char *name = media_extensions[i].demuxer;
            if (name == nullptr)
                return nullptr;
            if (demuxers[i] == nullptr)
                demuxers[i] = av_find_input_format(name);
            return begins_as(name, head, fd) ? demuxers[i] : nullptr;
        }
    return nullptr;
}

