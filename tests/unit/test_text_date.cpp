// Text removal, left parts and date masks.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "station/lfm.h"

namespace {

TEST(RemoveText, RemovesEveryOccurrenceCaseSensitively) {
  struct Case {
    const char* text;
    const char* what;
    const char* want;
  } cases[] = {
      {"\"1970-01-01\"", "\"", "1970-01-01"},
      {"a\"b\"\"c", "\"", "abc"},
      {"aaaa", "aa", ""},
      {"aaa", "aa", "a"},
      {"ABab", "a", "ABb"},
      {"nothing", "x", "nothing"},
      {"keep", "", "keep"},
      {"", "\"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RemoveText(c.text, c.what), c.want) << c.text << " without " << c.what;
}

TEST(LeftText, CountsCharactersNotBytes) {
  struct Case {
    const char* text;
    size_t count;
    const char* want;
  } cases[] = {
      {"abcdef", 3, "abc"},
      {"ab", 5, "ab"},
      {"", 3, ""},
      {"abc", 0, ""},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", 2, "\xC3\xA4\xC3\xB6"},  // äöü
      {"a\xF0\x9F\x8E\xB5"
       "bc",
       2, "a\xF0\x9F\x8E\xB5"},  // a + U+1F3B5
      {"1970-01-01 01:00:00+01:00", 19, "1970-01-01 01:00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(LeftText(c.text, c.count), c.want) << c.text;
}

TEST(ParseDateMask, FollowsTheMaskContract) {
  const char* const api = "%yyyy-%mm-%dd %hh:%ii:%ss";
  struct Case {
    const char* mask;
    const char* text;
    int64_t want;
  } cases[] = {
      {api, "1970-01-01 00:00:00", 0},
      {api, "1970-01-01 01:00:00", 3600},
      {api, "1970-1-2 3:4:5", 86400 + 3 * 3600 + 4 * 60 + 5},  // runs shorter than the token
      {api, "2000-02-29 00:00:00", 951782400},                 // divisible by 400: leap
      {api, "2024-02-29 12:34:56", 1709210096},                // divisible by 4: leap
      {api, "1972-12-31 23:59:59", 94694399},
      {api, "9999-12-31 23:59:59", 253402300799},
      {"%dd.%mm.%yyyy", "01.03.2023", 1677628800},
      {"%yyyy", "1970", 0},
      {api, "2100-02-29 00:00:00", -1},  // divisible by 100, not by 400: no leap day
      {api, "1900-02-29 00:00:00", -1},
      {api, "1970-02-29 00:00:00", -1},
      {api, "2023-04-31 00:00:00", -1},
      {api, "1969-12-31 23:59:59", -1},
      {api, "2023-00-10 00:00:00", -1},
      {api, "2023-13-10 00:00:00", -1},
      {api, "2023-01-00 00:00:00", -1},
      {api, "2023-01-01 24:00:00", -1},
      {api, "2023-01-01 00:60:00", -1},
      {api, "2023-01-01 00:00:60", -1},
      {api, "1970-01-01T01:00:00", -1},   // the mask wants a blank
      {api, "1970-01-01 01:00:00 ", -1},  // text left over
      {api, "1970-01-01 01:00", -1},      // text ends before the mask
      {api, "1970-01-01", -1},
      {api, "1970-01-01 01:00:0x", -1},
      {api, "1970-01-01 01:-0:00", -1},   // a token that finds no digit
      {api, "19700-01-01 00:00:00", -1},  // five digits: the fifth must be '-'
      {api, "", -1},
      {"", "1970-01-01 00:00:00", -1},
      {"", "", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDateMask(c.mask, c.text), c.want) << c.text;
}

TEST(ParseApiDate, ReadsTheFirstNineteenCharacters) {
  struct Case {
    const char* text;
    int64_t want;
  } cases[] = {
      {"1970-01-01 01:00:00", 3600},
      {"1970-01-01 01:00:00+01:00", 3600},
      {"1970-01-01 01:00:00 +0100 CET", 3600},
      {"2024-02-29 12:34:56.789", 1709210096},
      {"1970-01-01T01:00:00", -1},
      {"1970-01-01", -1},
      {"1970-02-29 00:00:00", -1},
      {"\"1970-01-01 01:00:00\"", -1},  // quotes are the clock's to remove, not the parser's
      {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseApiDate(c.text), c.want) << c.text;
}

}  // namespace
