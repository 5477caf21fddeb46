#pragma once

#include <string>

#include "source.h"

// Which demuxer reads a file: the one its extension names where the file begins as that
// demuxer's files do, else a probe of the content, among the demuxers that read one file only.

/// The demuxers a file may be read with, as libavformat's whitelist: playlists and sequences
/// (concat, HLS, DASH, image2, IMF, SDP) would open other files, which a list of the files
/// named must never read.
extern const char single_file_demuxers[];

/// The demuxer to open the file with, or null to probe its content.
const AVInputFormat *demuxer_for(const std::string &extension, const Head &head, int fd);
