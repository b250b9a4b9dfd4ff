// Removal of a text, the left part of a text, and date parsing with a mask.
#include <chrono>

#include "platform/text.h"

std::string RemoveText(std::string_view text, std::string_view what) {
  if (what.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  size_t from = 0;
  for (size_t hit = text.find(what); hit != std::string_view::npos; hit = text.find(what, from)) {
    result.append(text, from, hit - from);
    from = hit + what.size();
  }
  result.append(text, from);
  return result;
}

std::string LeftText(std::string_view text, size_t count) {
  // A character starts at every byte that is not a UTF-8 continuation byte (10xxxxxx).
  size_t end = 0;
  size_t characters = 0;
  while (end < text.size()) {
    if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) {
      if (characters == count) break;
      ++characters;
    }
    ++end;
  }
  return std::string(text.substr(0, end));
}

namespace {

struct DateFields {
  int64_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The mask tokens, each naming the field it fills and how many digits it reads at most.
struct DateToken {
  std::string_view token;
  int64_t DateFields::*field;
  size_t max_digits;
};

constexpr DateToken DateTokens[] = {
    {"%yyyy", &DateFields::year, 4}, {"%mm", &DateFields::month, 2},
    {"%dd", &DateFields::day, 2},    {"%hh", &DateFields::hour, 2},
    {"%ii", &DateFields::minute, 2}, {"%ss", &DateFields::second, 2},
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads one to `max_digits` digits at text[*at]; false when there is none.
bool ReadNumber(std::string_view text, size_t* at, size_t max_digits, int64_t* value) {
  size_t digits = 0;
  int64_t number = 0;
  while (digits < max_digits && *at < text.size() && IsDigit(text[*at])) {
    number = number * 10 + (text[*at] - '0');
    ++*at;
    ++digits;
  }
  *value = number;
  return digits > 0;
}

}  // namespace

int64_t ParseDateMask(std::string_view mask, std::string_view text) {
  if (mask.empty() || text.empty()) return -1;
  // Fields that the mask does not name keep 1970-01-01 00:00:00.
  DateFields fields;
  size_t at = 0;
  size_t m = 0;
  while (m < mask.size()) {
    const DateToken* token = nullptr;
    for (const DateToken& candidate : DateTokens)
      if (mask.substr(m).starts_with(candidate.token)) token = &candidate;
    if (token != nullptr) {
      if (!ReadNumber(text, &at, token->max_digits, &(fields.*token->field))) return -1;
      m += token->token.size();
    } else {
      if (at >= text.size() || text[at] != mask[m]) return -1;
      ++at;
      ++m;
    }
  }
  if (at != text.size()) return -1;

  if (fields.year < 1970 || fields.hour > 23 || fields.minute > 59 || fields.second > 59) return -1;
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(fields.year)),
                                         std::chrono::month(static_cast<unsigned>(fields.month)),
                                         std::chrono::day(static_cast<unsigned>(fields.day))};
  // ok() checks the month range and the days of that month, leap years included.
  if (!date.ok()) return -1;
  const int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return days * 86400 + fields.hour * 3600 + fields.minute * 60 + fields.second;
}
