// Lenient UTF-8 decoding: replacement of ill-formed input, zero bytes, surrogate halves.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

#define FFFD "\xEF\xBF\xBD"
#define GRINNING "\xF0\x9F\x98\x80"                 // U+1F600
#define GRINNING_HALVES "\xED\xA0\xBD\xED\xB8\x80"  // U+D83D U+DE00, three bytes each

struct DecodeCase {
  const char* what;
  std::string bytes;
  std::string expected;
};

TEST(DecodeUtf8, Table) {
  const DecodeCase cases[] = {
      {"ascii", "abc {}", "abc {}"},
      {"empty", "", ""},
      {"stops at the first zero byte", std::string("ab\0cd", 5), "ab"},
      {"zero byte first", std::string("\0ab", 3), ""},
      {"two, three and four bytes kept", "\xC3\xA9\xE2\x82\xAC" GRINNING,
       "\xC3\xA9\xE2\x82\xAC" GRINNING},
      {"lone continuation byte", "a\x80z", "a" FFFD "z"},
      {"invalid lead bytes", "\xC0\xC1\xF5\xFF", FFFD FFFD FFFD FFFD},
      {"overlong two bytes: each byte replaced", "\xC0\xAF", FFFD FFFD},
      {"overlong three bytes", "\xE0\x80\x80", FFFD FFFD FFFD},
      {"overlong four bytes", "\xF0\x80\x80\x80", FFFD FFFD FFFD FFFD},
      {"above U+10FFFF", "\xF4\x90\x80\x80", FFFD FFFD FFFD FFFD},
      {"U+10FFFF kept", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"cut short before a letter: one replacement",
       "\xE2\x82"
       "A",
       FFFD "A"},
      {"cut short at the end", "A\xF0\x9F\x98", "A" FFFD},
      {"cut short before a zero byte", std::string("\xE2\x82\0A", 4), FFFD},
      {"surrogate pair as two three-byte sequences", "x" GRINNING_HALVES "y", "x" GRINNING "y"},
      {"lone high surrogate",
       "\xED\xA0\xBD"
       "a",
       FFFD "a"},
      {"high surrogate at the end", "a\xED\xA0\xBD", "a" FFFD},
      {"lone low surrogate", "\xED\xB8\x80", FFFD},
      {"low before high", "\xED\xB8\x80\xED\xA0\xBD", FFFD FFFD},
      {"two high surrogates then a low", "\xED\xA0\xBD" GRINNING_HALVES, FFFD GRINNING},
      {"high surrogate then a cut-short sequence", "\xED\xA0\xBD\xED\xB8", FFFD FFFD},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(DecodeUtf8(c.bytes), c.expected) << c.what;
  }
}

}  // namespace
