// Client of the radio-hosting service's JSON API.
#include "station/lfm.h"

#include "config.h"
#include "platform/json.h"
#include "platform/net.h"
#include "platform/text.h"

std::string ApiHost = ORMELUND_API_HOST;

namespace {

constexpr const char* TimestampMask = "%yyyy-%mm-%dd %hh:%ii:%ss";
constexpr size_t TimestampLength = 19;

}  // namespace

void FillCurrentSong(const JsonValue& document, LFM::api_current_song* record) {
  LFM::api_artist& artist = record->artist;
  const RecordField artist_fields[] = {
      {.name = "name", .text = &artist.name},   {.name = "laut_id", .integer = &artist.laut_id},
      {.name = "url", .text = &artist.url},     {.name = "laut_url", .text = &artist.laut_url},
      {.name = "image", .text = &artist.image}, {.name = "thumb", .text = &artist.thumb},
  };
  const RecordField song_fields[] = {
      {.name = "id", .integer = &record->id},
      {.name = "type", .text = &record->type},
      {.name = "title", .text = &record->title},
      {.name = "album", .text = &record->album},
      {.name = "length", .integer = &record->length},
      {.name = "genre", .text = &record->genre},
      {.name = "releaseyear", .integer = &record->releaseyear},
      {.name = "created_at", .text = &record->created_at},
      {.name = "artist", .nested = artist_fields},
      {.name = "started_at", .text = &record->started_at},
      {.name = "ends_at", .text = &record->ends_at},
  };
  FillRecord(&document, song_fields);
}

bool HttpGetJson(JsonValue* document, const std::string& url, int flags,
                 const std::string& userAgent) {
  if (document == nullptr || !InitNetworking()) return false;
  std::string body;
  if (!Download(url, flags, userAgent.empty() ? DefaultUserAgent : userAgent, &body)) return false;
  JsonValue parsed;
  if (!ParseJson(body, &parsed)) return false;
  *document = std::move(parsed);
  return true;
}

bool FetchCurrentSong(const std::string& stationId, LFM::api_current_song* record) {
  // Nobody would read the answer: no request.
  if (record == nullptr) return false;
  JsonValue document;
  if (!HttpGetJson(&document, "https://" + ApiHost + "/station/" + stationId + "/current_song", 0,
                   ""))
    return false;
  FillCurrentSong(document, record);
  return true;
}

int64_t FetchServerTime() {
  std::string answer;
  std::string body;
  if (Download("https://" + ApiHost + "/time", DownloadNoRedirects, DefaultUserAgent, &body))
    answer = RemoveText(DecodeUtf8(body), "\"");
  return ParseApiDate(answer);
}

int64_t ParseApiDate(const std::string& text) {
  return ParseDateMask(TimestampMask, LeftText(text, TimestampLength));
}
