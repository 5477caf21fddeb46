#include "options.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

bool read_list(const char *list, bool null, std::vector<std::string> &operands) {
    bool from_input = strcmp(list, "-") == 0;
    FILE *file = from_input ? stdin : fopen(list, "rb");
    if (file == nullptr)
        return false;
    std::string text;
    char block[64 * 1024];
    for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;)
        text.append(block, got);
    int error = ferror(file) ? errno : 0;
    if (!from_input)
        fclose(file);
    if (error != 0)
        return errno = error, false;
    std::filesystem::path folder = from_input ? std::filesystem::path() : std::filesystem::u8path(list).parent_path();
    char end = null ? '\0' : '\n';
    for (size_t start = 0; start < text.size();) {
        size_t stop = std::min(text.find(end, start), text.size());
        std::string name = text.substr(start, stop - start);
        start = stop + 1;
        if (!null && !name.empty() && name.back() == '\r')
            name.pop_back();
        if (name.empty() || (!null && name[0] == '#'))
            continue;
        if (!folder.empty() && is_relative(name))
            name = (folder / std::filesystem::u8path(name)).generic_u8string();
        operands.push_back(std::move(name));
    }
    return true;
}

