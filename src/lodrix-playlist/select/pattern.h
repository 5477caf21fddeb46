#pragma once

#include <memory>
#include <string>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;

// A regular expression as PCRE2 reads it: UTF-8, its classes (\w, [[:alpha:]]) over all of
// Unicode, compiled once for the run.

class Pattern {
  public:
    /// Compiles text; false, with PCRE2's reason, where it is no regular expression.
    bool compile(const std::string &text, std::string &reason);
    /// True where the pattern matches somewhere in text, in UTF-8 (a byte that is not UTF-8
    /// matches nothing). One thread at a time: the match data is the pattern's own.
    bool found_in(const std::string &text) const;
    /// The text compiled.
    const std::string &text() const { return source; }

  private:
    std::string source;
    std::shared_ptr<pcre2_real_code_8> code;
    std::shared_ptr<pcre2_real_match_data_8> match_data;
};
