// Song records for tests: one with every field set, and the JSON a service would send for one.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "station/lfm.h"

// A record with every field set, to show what a call leaves untouched.
inline LFM::api_current_song OldSong() {
  LFM::api_current_song s;
  s.id = 7;
  s.type = "old";
  s.title = "Old Title";
  s.album = "Old Album";
  s.length = 100;
  s.genre = "Old Genre";
  s.releaseyear = 1999;
  s.created_at = "2001-01-01 00:00:00";
  s.artist = {"Old Artist", 8, "old-url", "old-laut-url", "old-image", "old-thumb"};
  s.started_at = "2001-01-01 00:00:00";
  s.ends_at = "2001-01-01 00:03:00";
  return s;
}

// The service's answer for a record: every member, named as the records' fields.
inline std::string SongJson(const LFM::api_current_song& s) {
  const LFM::api_artist& a = s.artist;
  return nlohmann::json{{"id", s.id},
                        {"type", s.type},
                        {"title", s.title},
                        {"album", s.album},
                        {"length", s.length},
                        {"genre", s.genre},
                        {"releaseyear", s.releaseyear},
                        {"created_at", s.created_at},
                        {"artist",
                         {{"name", a.name},
                          {"laut_id", a.laut_id},
                          {"url", a.url},
                          {"laut_url", a.laut_url},
                          {"image", a.image},
                          {"thumb", a.thumb}}},
                        {"started_at", s.started_at},
                        {"ends_at", s.ends_at}}
      .dump();
}
