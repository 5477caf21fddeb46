#pragma once

#include <stddef.h>

#include <string>

#include "encoding.h"

// The platform's converter, one file per platform: glibc's iconv (convert-posix.cpp), Windows'
// MultiByteToWideChar (convert-win32.cpp). encoding.cpp checks what they give.

/// The length bytes at text, in encoding (not none), as UTF-8 into utf8; false where the
/// converter finds a sequence not valid in it, or has not been opened.
bool convert_to_utf8(Encoding encoding, const char *text, size_t length, std::string &utf8);
