#include "lodrix-playlist/lib/cache/reading_checks.h"

#include <string.h>

#include <iterator>
#include <memory>
#include <new>

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/mem.h>
#include <libavutil/murmur3.h>
}

static void put_number(unsigned char *into, int64_t number) {
    for (int i = 0; i < 8; ++i)
        into[i] = (unsigned char)(uint64_t(number) >> (8 * i));
}

uint32_t reading_checksum(const std::string &folder, const std::string &name, const FileIdentity &identity,
                          int64_t version, int64_t fingerprint, const char *reading, size_t length) {
    const AVCRC *table = av_crc_get_table(AV_CRC_32_IEEE_LE);
    static const uint8_t zero = 0;
    uint32_t crc = UINT32_MAX;
    crc = av_crc(table, crc, (const uint8_t *)folder.data(), folder.size());
    crc = av_crc(table, crc, &zero, 1);
    crc = av_crc(table, crc, (const uint8_t *)name.data(), name.size());
    crc = av_crc(table, crc, &zero, 1);
    const int64_t numbers[] = {int64_t(identity.device), int64_t(identity.inode), identity.size, identity.modified_ns,
                               identity.changed_ns, version, fingerprint};
    unsigned char bytes[sizeof numbers];
    for (size_t i = 0; i < std::size(numbers); ++i)
        put_number(bytes + 8 * i, numbers[i]);
    crc = av_crc(table, crc, bytes, sizeof bytes);
    crc = av_crc(table, crc, (const uint8_t *)reading, length);
    return crc ^ UINT32_MAX;
}

// Reads length bytes at at, through short reads.
static bool read_fully(int fd, char *into, int64_t length, int64_t at) {
    while (length > 0) {
        int64_t got = read_media_file(fd, into, size_t(length), at);
        if (got <= 0)
            return false;
        into += got, at += got, length -= got;
    }
    return true;
}

bool file_fingerprint(int fd, int64_t size, int64_t &fingerprint) {
    // One read where the file is no longer than both ends, else one at each end.
    int64_t first = size <= 2 * fingerprinted_bytes ? size : fingerprinted_bytes;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size_t(fingerprinted_bytes * 2)]);
    AVMurMur3 *hash = av_murmur3_alloc();
    bool read = buffer != nullptr && hash != nullptr && read_fully(fd, buffer.get(), first, 0) &&
                (first == size || read_fully(fd, buffer.get() + first, fingerprinted_bytes, size - fingerprinted_bytes));
    if (read) {
        uint8_t digest[16];
        av_murmur3_init(hash);
        av_murmur3_update(hash, (const uint8_t *)buffer.get(), first == size ? size_t(size) : size_t(2 * fingerprinted_bytes));
        av_murmur3_final(hash, digest);
        uint64_t value = 0;
        memcpy(&value, digest, sizeof value);
        // 0 stands for no fingerprint.
        fingerprint = value != 0 ? int64_t(value) : 1;
    }
    av_free(hash);
    return read;
}
