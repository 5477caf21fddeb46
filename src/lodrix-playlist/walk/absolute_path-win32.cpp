#include "media_files.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// Windows itself takes ".." by the letters of a path, before it looks at a folder. Paths are
// kept with "/", which Windows opens as well and a location needs.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error) {
    error.clear();
    fs::path given = fs::u8path(path);
    absolute = (given.is_absolute() ? given : fs::u8path(base) / given).lexically_normal().generic_u8string();
    while (absolute.size() > 1 && absolute.back() == '/' && absolute[absolute.size() - 2] != ':')
        absolute.pop_back();
    return true;
}
