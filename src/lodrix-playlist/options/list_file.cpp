#include "options.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

WordsError split_words(const std::string &line, std::vector<std::string> &words) {
    words.clear();
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size() || line[i] == '#')
            return WordsError::none;
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            char c = line[i++];
            if (c == '\\') {
                if (i == line.size())
                    return WordsError::trailing_backslash;
                word += line[i++];
            } else if (c == '\'') {
                size_t end = line.find('\'', i);
                if (end == std::string::npos)
                    return WordsError::unclosed_quote;
                word.append(line, i, end - i);
                i = end + 1;
            } else if (c == '"') {
                for (;; ++i) {
                    if (i == line.size())
                        return WordsError::unclosed_quote;
                    if (line[i] == '"')
                        break;
                    if (line[i] == '\\' && i + 1 < line.size() && strchr("$`\"\\", line[i + 1]) != nullptr)
                        ++i;
                    word += line[i];
                }
                ++i;
            } else {
                word += c;
            }
        }
        words.push_back(std::move(word));
    }
}

bool read_lists_file(const char *file, std::vector<ListLine> &lines, size_t &bad_line, WordsError &error) {
    bool from_input = strcmp(file, "-") == 0;
    FILE *stream = from_input ? stdin : fopen(file, "rb");
    if (stream == nullptr)
        return false;
    std::string text;
    char block[64 * 1024];
    for (size_t got; (got = fread(block, 1, sizeof block, stream)) > 0;)
        text.append(block, got);
    int read_error = ferror(stream) ? errno : 0;
    if (!from_input)
        fclose(stream);
    if (read_error != 0)
        return errno = read_error, false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    error = WordsError::none;
    size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ListLine list = {number, {}};
        if ((error = split_words(line, list.words)) != WordsError::none) {
            bad_line = number;
            return true;
        }
        if (!list.words.empty())
            lines.push_back(std::move(list));
    }
    return true;
}
