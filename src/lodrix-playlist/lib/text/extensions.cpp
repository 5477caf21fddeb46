#include "extensions.h"

#include "lodrix-playlist/lib/text/text.h"

// Where the file begins as the demuxer's files do, it is opened with it directly: probing the
// content costs more than reading the file.
const MediaExtension media_extensions[] = {
    {"3g2", "mov"},        {"3gp", "mov"},        {"aac", "aac"},        {"ac3", "ac3"},
    {"aif", "aiff"},       {"aifc", "aiff"},      {"aiff", "aiff"},      {"amr", "amr"},
    {"ape", "ape"},        {"asf", "asf"},        {"au", "au"},          {"avi", "avi"},
    {"caf", "caf"},        {"dff", "iff"},        {"dsf", "dsf"},        {"dts", "dts"},
    {"eac3", "eac3"},      {"flac", "flac"},      {"flv", "flv"},        {"m2t", "mpegts"},
    {"m2ts", "mpegts"},    {"m4a", "mov"},        {"m4b", "mov"},        {"m4r", "mov"},
    {"m4v", "mov"},        {"mid", nullptr},      {"midi", nullptr},     {"mka", "matroska"},
    {"mkv", "matroska"},   {"mov", "mov"},        {"mp2", "mp3"},        {"mp3", "mp3"},
    {"mp4", "mov"},        {"mpa", "mp3"},        {"mpc", "mpc"},        {"mpeg", "mpeg"},
    {"mpg", "mpeg"},       {"mts", "mpegts"},     {"oga", "ogg"},        {"ogg", "ogg"},
    {"ogv", "ogg"},        {"opus", "ogg"},       {"ra", "rm"},          {"rm", "rm"},
    {"rmvb", "rm"},        {"spx", "ogg"},        {"tak", "tak"},        {"ts", "mpegts"},
    {"tta", "tta"},        {"vob", "mpeg"},       {"w64", "w64"},        {"wav", "wav"},
    {"weba", "matroska"},  {"webm", "matroska"},  {"wma", "asf"},        {"wmv", "asf"},
    {"wv", "wv"},
};
const size_t media_extension_count = sizeof media_extensions / sizeof media_extensions[0];

std::string lowercase_extension(const std::string &name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return "";
    return lowercase(name.substr(dot + 1));
}

bool has_media_extension(const std::string &name) {
    std::string extension = lowercase_extension(name);
    for (size_t i = 0; i < media_extension_count; ++i)
        if (extension == media_extensions[i].extension)
            return true;
    return false;
}

bool is_cue_sheet(const std::string &name) { return lowercase_extension(name) == "cue"; }
