#include "query.h"

#include <algorithm>

#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/lib/text/text.h"
#include "lodrix-playlist/select/dates.h"

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// FIELD:N, FIELD:LOW..HIGH, FIELD:LOW.., FIELD:..HIGH; for length, durations.
static bool parse_range(const std::string &text, Field field, QueryTerm &term) {
    if (field == Field::mtime)
        return parse_date_range(text, term.low, term.high);
    auto bound = [field](const std::string &part, uint64_t &number) {
        return field == Field::length ? parse_duration(part, number) : parse_number(part, number);
    };
    size_t dots = text.find("..");
    if (dots == std::string::npos) {
        if (!bound(text, term.low))
            return false;
        term.high = term.low;
        return true;
    }
    std::string low = text.substr(0, dots), high = text.substr(dots + 2);
    if (low.empty() && high.empty())
        return false;
    return (low.empty() || bound(low, term.low)) && (high.empty() || bound(high, term.high));
}

QueryError parse_query(const std::string &text, Query &query, std::string &term) {
    query.clear();
    for (size_t position = 0;;) {
        while (position < text.size() && is_blank(text[position]))
            ++position;
        if (position == text.size())
            return QueryError::none;
        // The term's characters without its quotes, each marked where it was quoted.
        size_t start = position;
        std::string characters;
        std::vector<bool> quoted;
        bool in_quotes = false;
        for (; position < text.size() && (in_quotes || !is_blank(text[position])); ++position)
            if (text[position] == '"') {
                in_quotes = !in_quotes;
            } else {
                characters += text[position];
                quoted.push_back(in_quotes);
            }
        term = text.substr(start, position - start);
        if (in_quotes)
            return QueryError::unclosed_quote;
        QueryTerm parsed;
        size_t next = 0;
        if (!characters.empty() && characters[0] == '^' && !quoted[0]) {
            parsed.negated = true;
            next = 1;
            if (term.size() == 1)
                return QueryError::empty_term;
        }
        // FIELD: is letters (in any case) and an unquoted colon; anything else is text to look for.
        size_t name_end = next;
        while (name_end < characters.size() && !quoted[name_end] && is_letter(characters[name_end]))
            ++name_end;
        std::string value;
        if (name_end > next && name_end < characters.size() && characters[name_end] == ':' && !quoted[name_end]) {
            if (!field_named(lowercase(characters.substr(next, name_end - next)), parsed.field))
                return QueryError::unknown_field;
            size_t value_start = name_end + 1;
            bool exact = value_start < characters.size() && characters[value_start] == '=' && !quoted[value_start];
            value = characters.substr(value_start + (exact ? 1 : 0));
            if (is_number_field(parsed.field)) {
                parsed.kind = QueryTerm::range;
                if (!parse_range(value, parsed.field, parsed))
                    return QueryError::not_numbers;
            } else {
                parsed.kind = exact ? QueryTerm::equals : QueryTerm::contains;
            }
        } else {
            parsed.kind = QueryTerm::anywhere;
            value = characters.substr(next);
        }
        if (parsed.kind != QueryTerm::range)
            parsed.text = case_folded(value);
        query.push_back(std::move(parsed));
    }
}

// One track's text fields, each folded the first time a term asks for it.
class FoldedFields {
  public:
    FoldedFields(const Track &track, const MediaFiles &files) : track(track), files(files) {}
    const std::string &operator[](Field field) {
        size_t index = size_t(field);
        if (!done[index]) {
            texts[index] = folded_field(track, field, files);
            done[index] = true;
        }
        return texts[index];
    }

  private:
    const Track &track;
    const MediaFiles &files;
    std::string texts[size_t(Field::path) + 1];
    bool done[size_t(Field::path) + 1] = {};
};

static bool holds(const std::string &field, const std::string &text) {
    return !field.empty() && field.find(text) != std::string::npos;
}

static bool term_matches(const QueryTerm &term, FoldedFields &fields, const Track &track, const MediaFiles &files) {
    switch (term.kind) {
    case QueryTerm::contains: return holds(fields[term.field], term.text);
    case QueryTerm::equals: return !fields[term.field].empty() && fields[term.field] == term.text;
    case QueryTerm::anywhere:
        return holds(fields[Field::title], term.text) || holds(fields[Field::artist], term.text) ||
               holds(fields[Field::album_artist], term.text) || holds(fields[Field::album], term.text) ||
               holds(fields[Field::path], term.text);
    case QueryTerm::range: {
        uint64_t number = number_field(track, term.field, files);
        if (number == 0)
            return false;
        // A length is matched in the whole seconds a player shows.
        if (term.field == Field::length)
            number /= 1000;
        return number >= term.low && number <= term.high;
    }
    }
    return false;
}

bool matches(const Query &query, const Track &track, const MediaFiles &files) {
    FoldedFields fields(track, files);
    return std::all_of(query.begin(), query.end(),
                       [&](const QueryTerm &term) { return term_matches(term, fields, track, files) != term.negated; });
}

