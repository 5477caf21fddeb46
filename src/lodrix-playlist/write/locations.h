#pragma once

#include <string>
#include <vector>

// Where an entry points (Location): a file's path relative to its list's folder, absolute, or
// rewritten by --prefix for another machine or a server; the same for XSPF and M3U8, each
// writer writing it in its own form.

/// --paths: which locations are relative to the list's folder.
enum class PathMode {
    automatic, ///< those of files in or below it (covers never)
    relative,  ///< all, with "../" as needed, where a relative path exists (not to another drive)
    absolute,  ///< none
};

/// --prefix=FROM=TO: the start of a file's absolute path, and what is written for it.
struct Prefix {
    std::string from, to;
};

/// How the locations of a list are written.
struct LocationRules {
    PathMode paths = PathMode::automatic;
    std::vector<Prefix> prefixes; ///< FROM as the program forms paths once the list is opened
};

/// Reads --paths: auto, relative or absolute. False for another.
bool parse_path_mode(const std::string &text, PathMode &mode);

/// Reads --prefix=FROM=TO at its first "="; false where FROM or TO is empty.
bool parse_prefix(const std::string &text, Prefix &prefix);

/// A location as formed, its folder and its file's name apart.
struct Location {
    enum Kind {
        relative, ///< from the list's folder: folder "" for the list's own, may begin with "../"
        path,     ///< an absolute path: the file's own, or one a prefix made ("/m", "C:/m", "//nas/m")
        url,      ///< a prefix's URL: folder and name percent-encoded, to be written as they are
    } kind = path;
    bool rewritten = false; ///< made by a prefix: a path of another system
    std::string folder, name;
};

/// The location of the file name in folder (an absolute path as the program forms it) in a
/// list whose folder is list_folder (absolute; null for a list without one, standard output
/// but with --paths=relative). A cover is absolute with --paths=auto: VLC 3 takes a relative
/// image as written and shows none. The longest prefix whose FROM the path starts with (a
/// whole folder of it) rewrites that start: its location is never relative, and behind a URL
/// the rest of the path is percent-encoded.
void locate(const std::string &folder, const std::string &name, const std::string *list_folder,
            const LocationRules &rules, bool cover, Location &location);

/// The path from folder from to folder to, both absolute as the program forms them: "" for
/// the same, "sub/dir", "../../other". False where none exists (another drive or share).
bool relative_path(const std::string &from, const std::string &to, std::string &relative);

/// text as a URL's path: each byte but letters, digits, "-._~", "/" and ":" as %XX.
std::string percent_encoded(const std::string &text);
