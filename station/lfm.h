// Client of the radio-hosting service's JSON API: the service clock ("/time") and the current
// song of a station ("/station/<id>/current_song"), over HTTPS on ApiHost.
//
// Date values are seconds since 1970-01-01 00:00:00 on the calendar as written (no time zones);
// -1 means no valid date.
#pragma once

#include <cstdint>
#include <string>

struct JsonValue;

namespace LFM {

// Field names are the service's member names, letter for letter.
struct api_artist {
  std::string name;
  int64_t laut_id = 0;
  std::string url;
  std::string laut_url;
  std::string image;
  std::string thumb;
};

struct api_current_song {
  int64_t id = 0;
  std::string type;
  std::string title;
  std::string album;
  int64_t length = 0;
  std::string genre;
  int64_t releaseyear = 0;
  std::string created_at;
  api_artist artist;
  std::string started_at;
  std::string ends_at;
};

}  // namespace LFM

// host[:port] of the service's API; the build sets it, tests may point it at their own server.
extern std::string ApiHost;

// Sent with every request when the caller names no other.
constexpr const char* DefaultUserAgent = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";

// GETs `url` (flags as for Download; an empty `userAgent` sends the default one) and parses the
// body as one JSON document into `document`. False, with `document` untouched, when nothing
// arrived or the body is not JSON.
bool HttpGetJson(JsonValue* document, const std::string& url, int flags,
                 const std::string& userAgent);

// Clears `record` and fills it from a parsed answer, matching the service's member names without
// regard to case; the record stays empty when `document` is not an object. FetchCurrentSong reads
// every answer through it (and the fuzz tests feed it arbitrary documents).
void FillCurrentSong(const JsonValue& document, LFM::api_current_song* record);

// Reads the current song of `stationId` into `record`. True when an answer was read: the record
// is then cleared and filled from it (empty when the answer is not a JSON object). On false the
// record is left as it was.
bool FetchCurrentSong(const std::string& stationId, LFM::api_current_song* record);

// The service clock as a date value, -1 on any failure. Redirects are not followed.
int64_t FetchServerTime();

// The date value of the first 19 characters of a service timestamp, or -1.
int64_t ParseApiDate(const std::string& text);
