#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/system/system.h"

// What tells a kept reading from a damaged or a stale one: a checksum over the reading and
// everything it is kept under, and a fingerprint of the parts of a file where tags live.

/// CRC-32 (zlib's: python's zlib.crc32 gives the same) over folder, a zero byte, name, a zero
/// byte, identity's device, inode, size, modification and change times, version and
/// fingerprint as 64-bit little-endian numbers, then the length bytes of reading.
uint32_t reading_checksum(const std::string &folder, const std::string &name, const FileIdentity &identity,
                          int64_t version, int64_t fingerprint, const char *reading, size_t length);

/// The bytes fingerprinted at each end of a file: where its tags live (ID3v2, FLAC, Vorbis
/// comments and most MP4 boxes at the start; ID3v1, APE and late MP4 boxes at the end).
const int64_t fingerprinted_bytes = 64 * 1024;

/// A fingerprint of the open file fd of size bytes: 64 bits of MurmurHash3 over its first and
/// last fingerprinted_bytes (all of it where it is shorter than both), never 0. False where it
/// cannot be read to the size.
bool file_fingerprint(int fd, int64_t size, int64_t &fingerprint);
