#include "limit.h"

#include <algorithm>

bool parse_limit(const std::string &text, Limit &limit) {
    uint64_t seconds;
    if (parse_number(text, limit.amount)) {
        limit.kind = Limit::count;
    } else if (parse_duration(text, seconds) && seconds <= UINT64_MAX / 1000) {
        limit.kind = Limit::duration;
        limit.amount = seconds * 1000;
    } else {
        return false;
    }
    return limit.amount > 0;
}


void apply_limit(std::vector<Track> &tracks, const Limit &limit, uint64_t &left) {
    if (limit.kind == Limit::count) {
        size_t kept = size_t(std::min<uint64_t>(left, tracks.size()));
        tracks.resize(kept);
        left -= kept;
    } else if (limit.kind == Limit::duration) {
        // Each track that still fits, in order: a later, shorter one may fit where one did not.
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(),
                                    [&left](const Track &track) {
                                        uint64_t length = number_field(track, Field::length);
                                        if (length > left)
                                            return true;
                                        left -= length;
                                        return false;
                                    }),
                     tracks.end());
    }
}
