// Entry points of the fuzz tests. Each takes arbitrary bytes, runs them through the code that meets
// such bytes in the player, and checks what must hold for every input. The result is empty when
// everything held, else a description of what did not.
//
// The libFuzzer drivers (tests/fuzz/fuzz_*.cpp, built by tools/fuzz.sh with clang) abort on a
// description; the corpus replay (tests/unit/test_fuzz_corpus.cpp) runs every file of
// tests/fuzz/corpus/<name>/ through the same entries in the normal and sanitizer builds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A service timestamp, as the song's times arrive (raw) and as the clock's answer does (decoded,
// quotes removed), against an independent reading of the timestamp rules.
std::string FuzzParseApiDate(std::string_view bytes);
// A current-song answer body: parsed as the client parses it and filled into a record.
std::string FuzzCurrentSong(std::string_view bytes);
// A preferences.json with these bytes, loaded; what was loaded is saved and loaded again.
std::string FuzzPreferences(std::string_view bytes);

struct FuzzTarget {
  const char* name;  // also the folder of its corpus
  std::string (*entry)(std::string_view bytes);
};

inline constexpr FuzzTarget FuzzTargets[] = {
    {"parse_api_date", FuzzParseApiDate},
    {"current_song", FuzzCurrentSong},
    {"preferences", FuzzPreferences},
};

// For the libFuzzer drivers: a broken rule is a crash, so that libFuzzer keeps the input.
inline int RunFuzzEntry(std::string (*entry)(std::string_view), const uint8_t* data, size_t size) {
  const std::string failure = entry(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!failure.empty()) {
    std::fprintf(stderr, "fuzz rule broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
