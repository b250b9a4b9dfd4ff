// Small text and date operations.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Decodes bytes as UTF-8 up to the first zero byte. Invalid sequences become U+FFFD; a surrogate
// pair written as two three-byte sequences becomes the one character it stands for.
std::string DecodeUtf8(std::string_view bytes);

// Removes every occurrence of `what` (case-sensitive).
std::string RemoveText(std::string_view text, std::string_view what);

// The first `count` characters (code points) of a UTF-8 text; the whole text when shorter.
std::string LeftText(std::string_view text, size_t count);

// Parses `text` with a mask of %yyyy %mm %dd %hh %ii %ss tokens and literal characters. Returns
// seconds since 1970-01-01 00:00:00 on the calendar as written, or -1 (empty mask or text, a
// token without digits, a literal mismatch, text left over, or no real date from 1970 on).
int64_t ParseDateMask(std::string_view mask, std::string_view text);
