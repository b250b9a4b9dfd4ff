// Lenient UTF-8 decoding.
//
// Invalid input is replaced the way the Unicode standard recommends ("maximal subparts"): a lead
// byte with a valid but cut-short tail becomes one U+FFFD, and the byte that broke the sequence is
// looked at afresh. Older preference files hold characters beyond U+FFFF as two three-byte
// sequences, one per UTF-16 surrogate (CESU-8); such a pair is joined back into one character.
#include "platform/text.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// One sequence starting at `at`. Sets *length to the bytes it covers (at least 1) and returns the
// code point, or -1 when those bytes are ill-formed. Surrogates (ED A0..BF xx) are returned as
// code points so that the caller can pair them.
int32_t ReadSequence(std::string_view bytes, size_t at, size_t* length) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  *length = 1;
  if (lead < 0x80) return lead;
  int tail = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the first continuation byte
  int32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    tail = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    tail = 2;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    tail = 3;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i <= tail; ++i) {
    if (at + i >= bytes.size()) return -1;
    const auto c = static_cast<unsigned char>(bytes[at + i]);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return -1;
    code = (code << 6) | (c & 0x3F);
    *length = i + 1;
  }
  return code;
}

bool IsHighSurrogate(int32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(int32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string DecodeUtf8(std::string_view bytes) {
  const size_t end = std::min(bytes.find('\0'), bytes.size());
  bytes = bytes.substr(0, end);
  std::string out;
  out.reserve(bytes.size());
  size_t at = 0;
  while (at < bytes.size()) {
    size_t length = 0;
    const int32_t code = ReadSequence(bytes, at, &length);
    if (code < 0) {
      AppendUtf8(&out, ReplacementCharacter);
    } else if (IsHighSurrogate(code)) {
      size_t next_length = 0;
      const int32_t next =
          at + length < bytes.size() ? ReadSequence(bytes, at + length, &next_length) : -1;
      if (IsLowSurrogate(next)) {
        AppendUtf8(&out, 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00));
        length += next_length;
      } else {
        AppendUtf8(&out, ReplacementCharacter);
      }
    } else if (IsLowSurrogate(code)) {
      AppendUtf8(&out, ReplacementCharacter);
    } else {
      out.append(bytes.substr(at, length));
    }
    at += length;
  }
  return out;
}
