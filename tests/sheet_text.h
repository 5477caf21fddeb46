#pragma once

#include <string>
#include <utility>

#include "lodrix-playlist/lib/reading/reading.h"

// A sheet on one line: its tags as key=value, each file as "| name:" (its bytes in brackets
// where they differ), each track as "#number@start_ms" and its tags; only what is set.
inline std::string described(const CueSheet &sheet) {
    std::string text;
    auto add_tags = [&text](const Tags &tags) {
        for (auto [key, value] : {std::pair{"title", &tags.title}, {"artist", &tags.artist}, {"album", &tags.album},
                                  {"genre", &tags.genre}, {"composer", &tags.composer}})
            if (!value->empty())
                text += std::string(" ") + key + "=" + *value;
        for (auto [key, value] : {std::pair{"year", tags.year}, {"disc", tags.disc}})
            if (value != 0)
                text += std::string(" ") + key + "=" + std::to_string(value);
    };
    add_tags(sheet.tags);
    for (const CueFile &file : sheet.files) {
        text += " | " + file.name + (file.raw_name.empty() ? "" : " [" + file.raw_name + "]") + ":";
        for (const CueTrack &track : file.tracks) {
            text += " #" + std::to_string(track.tags.track) + "@" + std::to_string(track.start_ms);
            add_tags(track.tags);
        }
    }
    return text.empty() ? text : text.substr(1);
}

