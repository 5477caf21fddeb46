#include "query.h"

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/lib/text/text.h"
#include "lodrix-playlist/select/dates.h"

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// What a backslash makes literal; before any other character it is itself, so that a
// Windows path or a regular expression's \d keeps it.
static const char escapable[] = " \t\n\r\"\\:,^-=~";

// A term's characters, without its quotes and escaping backslashes.
struct Character {
    char c;
    bool literal; ///< quoted or escaped: no part of the syntax
    bool escaped; ///< after a backslash
};
using Word = std::vector<Character>;

static bool is(const Word &word, size_t at, char c) { return at < word.size() && word[at].c == c && !word[at].literal; }

static std::string text_of(const Word &word, size_t from) {
    std::string text;
    for (size_t i = from; i < word.size(); ++i)
        text += word[i].c;
    return text;
}

// A regular expression keeps its backslashes: PCRE2 takes "\:" as ":", and "\\" as "\".
static std::string pattern_of(const Word &word, size_t from) {
    std::string text;
    for (size_t i = from; i < word.size(); ++i)
        text += std::string(word[i].escaped ? "\\" : "") + word[i].c;
    return text;
}

// A bound: a number with a sign, for length a length in ms and what its last digit counts.
static bool parse_bound(const std::string &text, Field field, bool &negative, uint64_t &number, uint64_t &unit) {
    bool sign = !text.empty() && (text[0] == '-' || text[0] == '+');
    negative = sign && text[0] == '-';
    unit = 1;
    return field == Field::length ? parse_length(text.substr(sign), number, unit) : parse_number(text.substr(sign), number);
}

// N, LOW..HIGH, LOW.., ..HIGH. A length's bound covers what its last digit does ("3" is 3.000
// to 3.999 s, "2.5" 2.500 to 2.599 s), as a player shows it; no number is below 0.
static bool parse_range(const std::string &text, Field field, QueryTerm &term) {
    if (field == Field::mtime)
        return parse_date_range(text, term.low, term.high);
    size_t dots = text.find("..");
    std::string low = dots == std::string::npos ? text : text.substr(0, dots);
    std::string high = dots == std::string::npos ? text : text.substr(dots + 2);
    bool negative;
    uint64_t number, unit;
    if (low.empty() && high.empty())
        return false;
    if (!low.empty()) {
        if (!parse_bound(low, field, negative, number, unit))
            return false;
        term.low = negative ? 0 : number;
    }
    if (!high.empty()) {
        if (!parse_bound(high, field, negative, number, unit))
            return false;
        term.high = number + (unit - 1);
        if (negative && number > 0) {
            term.low = 1;
            term.high = 0;
        }
    }
    return true;
}

// path as the walk forms it from base: absolute, ".." as the system resolves it; "" where it
// cannot be formed. False where a relative path needs a base there is none of.
static bool absolute(const std::string &path, const std::string &base, std::string &formed) {
    if (!std::filesystem::u8path(path).is_absolute() && base.empty())
        return false;
    std::error_code error;
    if (!absolute_path(path, base, formed, error))
        formed.clear();
    return true;
}

// A path as a path query compares it: in any case where names have no case.
static std::string compared_path(const std::string &path) { return names_have_case ? path : case_folded(path); }

// A term without a field that holds a separator and names a file or folder that is there.
static bool names_existing_path(const std::string &text, const std::string &base, std::string &formed) {
    std::error_code error;
    return text.find_first_of(folder_separators) != std::string::npos && absolute(text, base, formed) &&
           !formed.empty() && std::filesystem::exists(std::filesystem::u8path(formed), error);
}

// The term in word from from on, after its "^" or "-".
static QueryError read_term(const Word &word, size_t from, const std::string &base, QueryTerm &term,
                            std::string &reason) {
    size_t name_end = from;
    while (name_end < word.size() && !word[name_end].literal && is_letter(word[name_end].c))
        ++name_end;
    if (name_end == from && is(word, from, ':') && is(word, from + 1, ':')) {
        term.kind = QueryTerm::pattern;
        term.any_field = true;
        return term.expression.compile(pattern_of(word, from + 2), reason) ? QueryError::none : QueryError::bad_pattern;
    }
    if (name_end == from || !is(word, name_end, ':')) {
        std::string text = text_of(word, from);
        term.kind = names_existing_path(text, base, term.text) ? QueryTerm::in_path : QueryTerm::contains;
        term.any_field = term.kind == QueryTerm::contains;
        term.text = term.any_field ? case_folded(text) : compared_path(term.text);
        return QueryError::none;
    }
    if (!field_named(lowercase(text_of(word, from).substr(0, name_end - from)), term.field)) {
        // "C:\Musik" on Windows, a folder named "x:y" elsewhere.
        if (!names_existing_path(text_of(word, from), base, term.text))
            return QueryError::unknown_field;
        term.kind = QueryTerm::in_path;
        term.text = compared_path(term.text);
        return QueryError::none;
    }
    size_t value = name_end + 1;
    bool regular = is(word, value, ':'), exact = !regular && is(word, value, '=');
    bool any_case = exact && is(word, value + 1, '~');
    if (regular) {
        term.kind = QueryTerm::pattern;
        return term.expression.compile(pattern_of(word, value + 1), reason) ? QueryError::none : QueryError::bad_pattern;
    }
    std::string text = text_of(word, value + (exact ? 1 : 0) + (any_case ? 1 : 0));
    term.kind = !exact ? QueryTerm::contains : any_case ? QueryTerm::equals : QueryTerm::identical;
    // FIELD:= and FIELD:=~ with nothing after them: "" is what a track without the field shows.
    if (exact && text.empty())
        return QueryError::none;
    if (is_number_field(term.field)) {
        term.kind = QueryTerm::range;
        if (!parse_range(text, term.field, term))
            return QueryError::not_numbers;
    } else if (term.field == Field::path) {
        if (!absolute(text, base, term.text))
            return QueryError::no_working_directory;
        if (!exact) {
            term.kind = QueryTerm::in_path;
            term.text = compared_path(term.text);
        } else if (any_case) {
            term.text = case_folded(term.text);
        }
    } else {
        term.text = term.kind == QueryTerm::identical ? text : case_folded(text);
    }
    return QueryError::none;
}

QueryError parse_query(const std::string &text, const std::string &base, std::vector<Query> &queries,
                       std::string &term, std::string &reason) {
    Query query;
    bool alternatives = false;
    for (size_t position = 0;;) {
        while (position < text.size() && is_blank(text[position]))
            ++position;
        if (position == text.size())
            break;
        size_t start = position;
        Word word;
        bool in_quotes = false;
        for (; position < text.size() && (in_quotes || !is_blank(text[position])); ++position) {
            char c = text[position];
            bool escaped = c == '\\' && position + 1 < text.size() && text[position + 1] != '\0' &&
                           strchr(escapable, text[position + 1]) != nullptr;
            if (escaped)
                word.push_back({text[++position], true, true});
            else if (c == '"')
                in_quotes = !in_quotes;
            else
                word.push_back({c, in_quotes, false});
        }
        term = text.substr(start, position - start);
        if (in_quotes)
            return QueryError::unclosed_quote;
        if (word.size() == 1 && is(word, 0, ',')) {
            if (query.empty())
                return QueryError::empty_query;
            queries.push_back(std::move(query));
            query.clear();
            alternatives = true;
            continue;
        }
        QueryTerm parsed;
        parsed.negated = is(word, 0, '^') || is(word, 0, '-');
        if (parsed.negated && word.size() == 1)
            return QueryError::empty_term;
        if (QueryError error = read_term(word, parsed.negated ? 1 : 0, base, parsed, reason); error != QueryError::none)
            return error;
        query.push_back(std::move(parsed));
    }
    if (alternatives && query.empty())
        return QueryError::empty_query;
    queries.push_back(std::move(query));
    return QueryError::none;
}

// The fields a term without one looks in.
static const Field any_fields[] = {Field::title, Field::artist, Field::album_artist,
                                   Field::album, Field::genre,  Field::composer};

// One track's fields as shown and case-folded, each made the first time a term asks for it.
class TrackTexts {
  public:
    TrackTexts(const Track &track, const MediaFiles &files) : track(track), files(files) {}
    const std::string &shown(Field field) {
        size_t index = size_t(field);
        if (!shown_done[index]) {
            texts[index] = shown_field(track, field, files);
            shown_done[index] = true;
        }
        return texts[index];
    }
    const std::string &folded(Field field) {
        size_t index = size_t(field);
        if (!folded_done[index]) {
            folded_texts[index] = case_folded(shown(field));
            folded_done[index] = true;
        }
        return folded_texts[index];
    }

  private:
    static const size_t count = size_t(Field::path) + 1;
    const Track &track;
    const MediaFiles &files;
    std::string texts[count], folded_texts[count];
    bool shown_done[count] = {}, folded_done[count] = {};
};

static bool holds(const std::string &field, const std::string &text) {
    return !field.empty() && field.find(text) != std::string::npos;
}

// The file path, or a file below the folder path.
static bool lies_in(const std::string &file, const std::string &path) {
    return !path.empty() && file.compare(0, path.size(), path) == 0 &&
           (file.size() == path.size() || path.back() == '/' || file[path.size()] == '/');
}

static bool term_matches(const QueryTerm &term, TrackTexts &texts, const Track &track, const MediaFiles &files) {
    switch (term.kind) {
    case QueryTerm::contains:
        if (term.any_field)
            return std::any_of(std::begin(any_fields), std::end(any_fields),
                               [&](Field field) { return holds(texts.folded(field), term.text); });
        return holds(texts.folded(term.field), term.text);
    case QueryTerm::equals: return texts.folded(term.field) == term.text;
    case QueryTerm::identical: return texts.shown(term.field) == term.text;
    case QueryTerm::pattern:
        if (term.any_field)
            return std::any_of(std::begin(any_fields), std::end(any_fields),
                               [&](Field field) { return term.expression.found_in(texts.shown(field)); });
        return term.expression.found_in(texts.shown(term.field));
    case QueryTerm::range: {
        uint64_t number = number_field(track, term.field, files);
        return number != 0 && number >= term.low && number <= term.high;
    }
    case QueryTerm::in_path:
        return lies_in(names_have_case ? texts.shown(Field::path) : texts.folded(Field::path), term.text);
    }
    return false;
}

bool matches(const Query &query, const Track &track, const MediaFiles &files) {
    TrackTexts texts(track, files);
    return std::all_of(query.begin(), query.end(),
                       [&](const QueryTerm &term) { return term_matches(term, texts, track, files) != term.negated; });
}
