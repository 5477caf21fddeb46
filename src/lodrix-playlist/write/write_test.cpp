// Locations, M3U8 entries and list names, as rows.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "lodrix-playlist/write/list_text.h"
#include "lodrix-playlist/write/locations.h"
#include "lodrix-playlist/write/m3u8.h"
#include "lodrix-playlist/write/names.h"

// A location as one text: "R:" relative, "P:" a path, "U:" a URL, then folder|name.
static std::string described(const Location &location) {
    return std::string(location.kind == Location::relative ? "R:" : location.kind == Location::path ? "P:" : "U:") +
           location.folder + "|" + location.name;
}

TEST(Locations, EachModeAndPrefix) {
    const struct {
        const char *list_folder; // "" for none
        PathMode mode;
        const char *prefixes;    // FROM=TO, ";" between
        const char *folder;
        bool cover;
        const char *expected;
    } cases[] = {
        // A list inside, beside and above the music.
        {"/home/a/Music/Artist", PathMode::automatic, "", "/home/a/Music/Artist/Album", false, "R:Album|a.mp3"},
        {"/home/a/Playlists", PathMode::automatic, "", "/home/a/Music/Artist", false, "P:/home/a/Music/Artist|a.mp3"},
        {"/home/a", PathMode::automatic, "", "/home/a/Music/Artist", false, "R:Music/Artist|a.mp3"},
        {"/home/a/Music/Artist", PathMode::relative, "", "/home/a/Music/Artist/Album", false, "R:Album|a.mp3"},
        {"/home/a/Playlists", PathMode::relative, "", "/home/a/Music/Artist", false, "R:../Music/Artist|a.mp3"},
        {"/home/a/Music/Artist/Album", PathMode::relative, "", "/home/a/Music", false, "R:../..|a.mp3"},
        {"/home/a", PathMode::relative, "", "/home/a", false, "R:|a.mp3"},
        {"/", PathMode::relative, "", "/home/a", false, "R:home/a|a.mp3"},
        {"/home/a/Music", PathMode::absolute, "", "/home/a/Music/Artist", false, "P:/home/a/Music/Artist|a.mp3"},
        {"", PathMode::relative, "", "/home/a/Music", false, "P:/home/a/Music|a.mp3"},
        // Covers stay absolute unless asked; other drives and shares have no relative path.
        {"/home/a/Music", PathMode::automatic, "", "/home/a/Music/Artist", true, "P:/home/a/Music/Artist|a.mp3"},
        {"/home/a/Playlists", PathMode::relative, "", "/home/a/Music", true, "R:../Music|a.mp3"},
        {"C:/Lists", PathMode::relative, "", "c:/Music", false, "R:../Music|a.mp3"},
        {"C:/Lists", PathMode::relative, "", "D:/Music", false, "P:D:/Music|a.mp3"},
        {"//nas/one/Lists", PathMode::relative, "", "//nas/two/Music", false, "P://nas/two/Music|a.mp3"},
        // Prefixes: a whole folder, the longest, absolute whatever --paths says; a URL encoded.
        {"/home/a/Music", PathMode::relative, "/home/a/Music=/storage/sdcard1/Music", "/home/a/Music/Artist", false,
         "P:/storage/sdcard1/Music/Artist|a.mp3"},
        {"", PathMode::automatic, "/home/a/Mus=/x", "/home/a/Music/Artist", false, "P:/home/a/Music/Artist|a.mp3"},
        {"", PathMode::automatic, "/home/a/=G:/;/home/a/Music/=H:\\Musik\\", "/home/a/Music/Artist", false,
         "P:H:\\Musik/Artist|a.mp3"},
        {"", PathMode::automatic, "/home/a/Music=/x;/home/a/Music/Artist=http://nas.local/m/", "/home/a/Music/Artist/Ä #1%",
         false, "U:http://nas.local/m/%C3%84%20%231%25|a.mp3"},
        {"", PathMode::automatic, "/home=sdcard", "/home/a", false, "R:sdcard/a|a.mp3"},
    };
    for (const auto &c : cases) {
        LocationRules rules;
        rules.paths = c.mode;
        std::string prefixes = c.prefixes;
        for (size_t start = 0; start < prefixes.size();) {
            size_t end = std::min(prefixes.find(';', start), prefixes.size());
            Prefix prefix;
            ASSERT_TRUE(parse_prefix(prefixes.substr(start, end - start), prefix)) << prefixes;
            rules.prefixes.push_back(prefix);
            start = end + 1;
        }
        std::string list_folder = c.list_folder;
        Location location;
        locate(c.folder, "a.mp3", list_folder.empty() ? nullptr : &list_folder, rules, c.cover, location);
        EXPECT_EQ(described(location), c.expected) << c.list_folder << " " << c.folder << " " << c.prefixes;
    }
    Prefix prefix;
    EXPECT_FALSE(parse_prefix("/a", prefix));
    EXPECT_FALSE(parse_prefix("=/b", prefix));
    EXPECT_FALSE(parse_prefix("/a=", prefix));
    EXPECT_TRUE(parse_prefix("/a=b=c", prefix) && prefix.from == "/a" && prefix.to == "b=c");
}

// An entry's exact bytes; "" where it is left out.
static std::string m3u8_bytes(const M3u8Track &track) {
    FILE *stream = tmpfile();
    M3u8Writer writer(stream);
    bool written = writer.write(track);
    EXPECT_EQ(writer.finish(), 0);
    std::string text(4096, '\0');
    rewind(stream);
    text.resize(fread(&text[0], 1, text.size(), stream));
    fclose(stream);
    return written ? text : "";
}

TEST(M3u8, EntriesAsWritten) {
    const struct {
        Location::Kind kind;
        const char *folder, *name, *title, *artist;
        int64_t duration, start, stop;
        const char *expected;
    } cases[] = {
        {Location::path, "/m/A", "a.mp3", "T", "Art", 1500, 0, 0, "#EXTM3U\n#EXTINF:2,Art - T\n/m/A/a.mp3\n"},
        {Location::path, "/m/A", "a.mp3", "T", "", 499, 0, 0, "#EXTM3U\n#EXTINF:0,T\n/m/A/a.mp3\n"},
        {Location::relative, "", "a b.mp3", "", "", 0, 0, 0, "#EXTM3U\n#EXTINF:-1,a b.mp3\na b.mp3\n"},
        {Location::relative, "../A", "a.flac", "Zwei", "X", 1600, 1400, 3000,
         "#EXTM3U\n#EXTINF:2,X - Zwei\n#EXTVLCOPT:start-time=1.400\n#EXTVLCOPT:stop-time=3.000\n../A/a.flac\n"},
        {Location::relative, "", "Track 1: Intro.mp3", "a\r\nb", "\xfc", 1000, 0, 0,
         "#EXTM3U\n#EXTINF:1,\xc3\xbc - a  b\n./Track 1: Intro.mp3\n"},
        {Location::relative, "", "#1.mp3", "", "", 1000, 0, 0, "#EXTM3U\n#EXTINF:1,#1.mp3\n./#1.mp3\n"},
        {Location::relative, " x", "a.mp3", "", "", 1000, 0, 0, "#EXTM3U\n#EXTINF:1,a.mp3\n./ x/a.mp3\n"},
        {Location::path, "/m", "new\nline.mp3", "", "", 1000, 0, 0, ""},
        {Location::path, "/m", "cr\r.mp3", "", "", 1000, 0, 0, ""},
        {Location::path, "/m", "Latin\xfc.mp3", "", "", 1000, 0, 0, ""},
        {Location::url, "http://h/m", "Latin%FC.mp3", "", "", 1000, 0, 0, "#EXTM3U\n#EXTINF:1,Latin%FC.mp3\nhttp://h/m/Latin%FC.mp3\n"},
    };
    for (const auto &c : cases) {
        Location location;
        location.kind = c.kind;
        location.folder = c.folder;
        location.name = c.name;
        M3u8Track track;
        track.location = &location;
        track.title = c.title;
        track.artist = c.artist;
        track.file_name = c.name;
        track.duration_ms = c.duration;
        track.start_ms = c.start;
        track.stop_ms = c.stop;
        EXPECT_EQ(m3u8_bytes(track), c.expected) << c.name;
    }
    // The cover as the URL VLC takes it from, percent-encoded.
    Location location, cover;
    location.folder = cover.folder = "/m/Ä b";
    location.name = "a.mp3";
    cover.name = "cover.jpg";
    M3u8Track track;
    track.location = &location;
    track.file_name = "a.mp3";
    track.cover = &cover;
    EXPECT_EQ(m3u8_bytes(track), "#EXTM3U\n#EXTINF:-1,a.mp3\n#EXTALBUMARTURL:file:///m/%C3%84%20b/cover.jpg\n/m/\xc3\x84 b/a.mp3\n");
}

// The format a list is written in: the one asked for, else the name's.
TEST(Formats, ByNameOrAsked) {
    const struct {
        Format asked;
        const char *name;
        Format format;
    } cases[] = {
        {Format::by_name, "/m/a.m3u8", Format::m3u8}, {Format::by_name, "A.M3U", Format::m3u8},
        {Format::by_name, "a.xspf", Format::xspf},    {Format::by_name, "a.m3u8.bak", Format::xspf},
        {Format::by_name, "", Format::xspf},          {Format::xspf, "a.m3u8", Format::xspf},
        {Format::m3u8, "a.xspf", Format::m3u8},
    };
    for (const auto &c : cases)
        EXPECT_EQ(format_for(c.asked, c.name), c.format) << c.name;
}

TEST(Names, FieldsAndSafeNames) {
    std::vector<Field> fields;
    std::string unknown;
    EXPECT_TRUE(name_fields("{genre}/{Year} - {albumartist}.m3u8 {x y} {}", fields, unknown));
    EXPECT_EQ(fields, (std::vector<Field>{Field::genre, Field::year, Field::album_artist}));
    EXPECT_FALSE(name_fields("a {bogus}.m3u8", fields, unknown));
    EXPECT_EQ(unknown, "{bogus}");
    const struct {
        const char *value, *safe;
    } cases[] = {
        {"Rock", "Rock"},          {"AC/DC", "AC_DC"},         {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {"..", ""},                {".hidden", "_hidden"},     {" Jazz. ", "Jazz"},
        {"nul", "nul_"},           {"COM1.x", "COM1_.x"},      {"Console", "Console"},
        {"tab\there", "tab_here"}, {"\xc3\xa4rger", "\xc3\xa4rger"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(safe_name(c.value), c.safe) << c.value;
    // Cut at 200 bytes, before a character.
    EXPECT_EQ(safe_name(std::string(199, 'a') + "\xc3\xa4"), std::string(199, 'a'));
}
