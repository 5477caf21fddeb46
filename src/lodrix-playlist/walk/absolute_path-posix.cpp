#include "media_files.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// The kernel takes ".." from the folder a path really leads to, so the path up to its last
// ".." is resolved through the file system; the rest is taken as written.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error) {
    fs::path given = fs::u8path(path), walked = given.root_path(), through_parent, rest;
    for (const fs::path &component : given.relative_path()) {
        walked /= component;
        if (component == "..") {
            through_parent = walked;
            rest.clear();
        } else {
            rest /= component;
        }
    }
    fs::path start = !through_parent.empty() ? fs::canonical(through_parent, error)
                     : given.is_absolute()   ? given.root_path()
                                             : fs::u8path(base);
    if (error)
        return false;
    absolute = start.u8string();
    for (const fs::path &component : rest)
        if (component != "." && !component.empty())
            absolute = joined_path(absolute, component.u8string());
    return true;
}
