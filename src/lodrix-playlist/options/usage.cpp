#include "options.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "lodrix-playlist/lib/text/messages.h"
#include "platform/platform.h"

// The usage in parts, so that a new option leaves the others' translations as they are.
static const char *const usage_parts[] = {
N_(
"Usage: lodrix-playlist [OPTION]... [FOLDER|FILE]...\n"
"Writes a playlist (XSPF, as VLC reads it, or M3U8) of the media files in the FOLDERs\n"
"(recursively) and of the FILEs named, to standard output; no operands: the current\n"
"folder. An operand that begins with - goes after -- or as ./-x.\n"
"\n"),
N_(
"  -o, --output=FILE        write the list to FILE, whole or not at all; locations in\n"
"                           FILE's folder relative to it\n"
"  -e, --each-folder[=NAME] in each folder with media files a list of them, named after\n"
"                           the folder (Album/Album.xspf) or NAME, locations relative\n"
"      --lists=FILE         many lists from one reading: each line a file and the options\n"
"                           of its list (--match to --prefix), quoted as the shell quotes;\n"
"                           {FIELD} in the name: one list for each value ({genre}.m3u8)\n"
"  -T, --files-from=LIST    the operands from LIST (- for standard input), one a line,\n"
"                           lines beginning with # left out (M3U); relative ones from\n"
"                           LIST's folder\n"
"  -0, --null               each name in LIST ends in a NUL byte (find -print0)\n"),
N_(
"      --order=name         in each folder by name, naturally (Track 2 before Track 10;\n"
"                           the default)\n"
"      --order=tags         in each folder by disc, then track number, then name\n"
"      --chapters           a file with two or more chapters as one track per chapter\n"),
N_(
"      --match=QUERY        only the tracks QUERY matches (given again: any of them), in\n"
"                           beets' language: terms, separated by blanks, must all match;\n"
"                           a , standing alone separates queries (one matches):\n"
"                             TEXT         title, artist, albumartist, album, genre or\n"
"                                          composer holds TEXT, in any case\n"
"                             FIELD:TEXT   FIELD holds TEXT, in any case\n"
"                             FIELD:=TEXT  FIELD is exactly TEXT; FIELD:= FIELD is missing\n"
"                             FIELD:=~TEXT FIELD is TEXT, in any case\n"
"                             FIELD::RE    the regular expression RE (PCRE2) matches FIELD;\n"
"                                          ::RE any of the fields of TEXT\n"
"                             FIELD:N, FIELD:FROM..TO, FIELD:FROM.., FIELD:..TO  for year,\n"
"                                          track, disc, length (90, 2.5, 1h2m3s, 3:30.5)\n"
"                             path:PATH    the file PATH, or all in the folder PATH;\n"
"                                          TEXT with a / the same, where PATH exists\n"
"                           ^ or - before one negates it, \"...\" holds blanks, \\ makes the\n"
"                           next character literal. FIELDs: title artist albumartist\n"
"                           album genre composer year track disc length path mtime\n"
"                           (modification time: 2024, 2024-03.., -30d.., -2w.., -1y..).\n"
"                           Unlike beets:\n"
"                             artist without an artist tag is the albumartist\n"
"                             any case: Unicode case folding (beets: A to Z only)\n"
"                             TEXT looks in composer (beets: in comments)\n"
"                             FIELD: without TEXT matches only tracks with FIELD\n"
"                             length:N is the whole second N (beets: exactly N)\n"
"                             an unknown FIELD is an error (beets: matches nothing)\n"
"                             sorting is --sort's (beets: FIELD+ or FIELD- in QUERY)\n"
"                             tracks without the field come last with --sort\n"),
N_(
"      --sort=FIELD[,FIELD]...  the whole list by these FIELDs, -FIELD descending;\n"
"                           tracks without the field last (not with --order)\n"
"      --shuffle[=tracks|albums|spread]  random order: any order (tracks, the\n"
"                           default), whole albums (albums), an artist never twice in a\n"
"                           row where it can be helped (spread)\n"
"      --seed=N             the same number N, the same order\n"
"      --limit=N|DURATION   only the first N tracks, or in order each track that still\n"
"                           fits in DURATION (90m, 2h, 1h30m, 45s)\n"),
N_(
"      --title=TEXT         the list's title (default: Playlist; XSPF only)\n"
"      --format=xspf|m3u8   the format (default: by -o's extension, .m3u8 and .m3u:\n"
"                           M3U8, else XSPF)\n"
"      --paths=auto|relative|absolute  locations relative to the list's folder: those\n"
"                           in it (auto, the default), all, with ../ (relative), none\n"
"                           (absolute)\n"
"      --prefix=FROM=TO     write the start FROM of a path as TO (given again: the\n"
"                           longest counts), such as /home/a/Music=http://nas/music\n"),
N_(
"      --cache=FILE         keep what was read of each file in FILE (default:\n"
"                           $XDG_CACHE_HOME/lodrix/readings.sqlite, else\n"
"                           ~/.cache/lodrix/readings.sqlite; Windows:\n"
"                           %LOCALAPPDATA%\\lodrix\\readings.sqlite)\n"
"      --no-cache           read every file, keep nothing\n"
"      --encoding=ENCODING  read text that is not UTF-8 (cue sheets, tags) in ENCODING\n"
"                           instead of telling it: windows-1252, windows-1250,\n"
"                           windows-1251, gbk, big5, shift_jis, euc-kr, euc-jp, koi8-r,\n"
"                           iso-8859-2, -3, -4, -5, -6, -9, -13, -15\n"
"  -h, --help               show this help\n"
"  -V, --version            show the version\n"),
N_(
"\n"
"The steps: read, --match, --sort or --order, --shuffle, --limit, write; with -e for\n"
"each folder's list, with --lists for each list.\n"
"\n"
"What reading a file told is kept under its path, device, inode, size, modification\n"
"and change time, the version of the reading and --encoding: where one differs, it is\n"
"read again. To empty the cache, remove the file.\n"
"\n"
"Text that is not UTF-8 is read, without --encoding, in the code page uchardet tells in\n"
"it (Windows-1252 where it is unsure); cue sheets with a byte-order mark as UTF-16.\n"
"\n"
"Status: 0 written; 1 a wrong option, query or line, an operand missing, no media file,\n"
"or a name M3U cannot carry; 2 a write error; 3 no current directory.\n"
"\n"
"Messages are in German where the locale's language is German (LANGUAGE, LC_ALL,\n"
"LC_MESSAGES, LANG), else in English.\n"),
};
static const char version_text[] = "lodrix-playlist 2.1\n";

// On standard output, as the user's terminal shows it.
static int print(const char *text) {
    int error = write_text(stdout, text, strlen(text)) ? 0 : -1;
    return close_stream(stdout, error);
}

int print_usage() {
    std::string text;
    for (const char *part : usage_parts)
        text += translated(part);
    return print(text.c_str());
}

int print_version() { return print(version_text); }
