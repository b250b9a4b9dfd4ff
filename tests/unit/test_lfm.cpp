// The station service client against a real HTTPS server on loopback.
#include <gtest/gtest.h>

#include <string>

#include "../support/service_fixture.h"
#include "platform/json.h"
#include "station/lfm.h"

using namespace std::string_literals;

namespace {

const std::string SongPath = "/station/ormelund-radio/current_song";

class ClockTest : public ServiceTest {};
class SongTest : public ServiceTest {};

TEST_F(ClockTest, ReadsTheTimestampFromAnyAnswerBody) {
  struct Case {
    std::string body;
    int status;
    int64_t want;
  } cases[] = {
      {"\"1970-01-01 01:00:00+01:00\"", 200, 3600},
      {"1970-01-01 01:00:00", 200, 3600},
      {"\"2024-02-29 12:34:56\"\n", 200, 1709210096},
      {"\"1970\"-01-01 01:00:00", 200, 3600},      // every quote goes, wherever it stands
      {"1970-01-01 01:00:00\0 junk"s, 200, 3600},  // decoding stops at a zero byte
      {"\"1970-01-01 01:00:00\"", 503, 3600},      // the status is not examined
      {"\"1970-01-01T01:00:00\"", 200, -1},
      {"\"1970-02-29 00:00:00\"", 200, -1},
      {"\"1970-01-01\"", 200, -1},
      {"<html><body>Service unavailable</body></html>", 503, -1},
      {"", 200, -1},
  };
  for (const Case& c : cases) {
    service->Set("/time", c.body, c.status);
    EXPECT_EQ(FetchServerTime(), c.want) << c.body;
  }
  EXPECT_EQ(service->Count("/time"), static_cast<int>(std::size(cases)));
  EXPECT_EQ(service->UserAgent("/time"), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
}

TEST_F(ClockTest, WorksOnTheLoopbackAddressToo) {
  ApiHost = "127.0.0.1:" + std::to_string(service->https_port);
  service->Set("/time", "\"1970-01-02 00:00:00\"");
  EXPECT_EQ(FetchServerTime(), 86400);
}

// The clock takes the redirect's own body; the song follows the redirect.
TEST_F(ClockTest, DoesNotFollowRedirectsButTheSongDoes) {
  service->Set("/time", "1970-01-01 01:00:00", 302, {{"location", service->Url("/other-time")}});
  service->Set("/other-time", "1970-01-01 02:00:00");
  EXPECT_EQ(FetchServerTime(), 3600);
  EXPECT_EQ(service->Count("/other-time"), 0);

  service->Set(SongPath, R"({"title": "Redirect page"})", 302,
               {{"location", service->Url("/moved")}});
  service->Set("/moved", R"({"title": "Moved"})");
  LFM::api_current_song song;
  ASSERT_TRUE(FetchCurrentSong("ormelund-radio", &song));
  EXPECT_EQ(song.title, "Moved");
  EXPECT_EQ(service->Count("/moved"), 1);
}

TEST_F(SongTest, AsksForTheStationsPathWithTheUserAgent) {
  service->Set(SongPath, "{}");
  LFM::api_current_song song;
  EXPECT_TRUE(FetchCurrentSong("ormelund-radio", &song));
  EXPECT_FALSE(FetchCurrentSong("ormelund-radio", nullptr));
  EXPECT_EQ(service->Count(SongPath), 1);
  EXPECT_EQ(service->UserAgent(SongPath), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
}

TEST_F(SongTest, FillsTheRecordByTheFillingRules) {
  const LFM::api_current_song old = OldSong();
  LFM::api_current_song full;
  full.id = 12345;
  full.type = "song";
  full.title = "Title \xC3\xA4";
  full.album = "Album";
  full.length = 215;
  full.genre = "Pop";
  full.releaseyear = 1984;
  full.created_at = "2024-02-29 12:00:00+01:00";
  full.artist = {"Artist", 77, "u", "lu", "i", "t"};
  full.started_at = "2024-02-29 12:31:21+01:00";
  full.ends_at = "2024-02-29 12:34:56+01:00";
  const std::string full_body = R"({"id": 12345, "type": "song", "title": "Title \u00e4",
      "album": "Album", "length": 215.9, "genre": "Pop", "releaseyear": 1984,
      "created_at": "2024-02-29 12:00:00+01:00",
      "artist": {"name": "Artist", "laut_id": 77, "url": "u", "laut_url": "lu", "image": "i",
                 "thumb": "t", "extra": [1, 2]},
      "started_at": "2024-02-29 12:31:21+01:00", "ends_at": "2024-02-29 12:34:56+01:00",
      "unknown": {"a": 1}})";

  auto song = [](auto change) {
    LFM::api_current_song s;
    change(s);
    return s;
  };
  const LFM::api_current_song empty;
  struct Case {
    std::string body;
    int status;
    bool want_ok;
    LFM::api_current_song want;
  } cases[] = {
      {full_body, 200, true, full},
      {R"({"Title": "T", "ALBUM": "A", "Artist": {"NAME": "N"}, "Ends_At": "E"})", 200, true,
       song([](auto& s) {
         s.title = "T";
         s.album = "A";
         s.artist.name = "N";
         s.ends_at = "E";
       })},
      {R"({"title": "first", "TITLE": "last"})", 200, true,
       song([](auto& s) { s.title = "last"; })},
      {R"({"title": "t", "artist": null})", 200, true, song([](auto& s) { s.title = "t"; })},
      {R"({"title": "t", "artist": "Name"})", 200, true, song([](auto& s) { s.title = "t"; })},
      {R"({"title": "t", "album": null})", 200, true, song([](auto& s) { s.title = "t"; })},
      {R"({"title": "t", "album": 5})", 200, true, song([](auto& s) { s.title = "t"; })},
      {R"({"length": 215.9, "id": -7.9, "releaseyear": true, "artist": {"laut_id": 3.99}})", 200,
       true, song([](auto& s) {
         s.length = 215;
         s.id = -7;
         s.releaseyear = 1;
         s.artist.laut_id = 3;
       })},
      {R"({"length": "215", "id": null, "releaseyear": [1984]})", 200, true, empty},
      {"{\"title\": \"a\xFF"
       "b\"}",
       200, true, song([](auto& s) {
         s.title =
             "a\xEF\xBF\xBD"
             "b";
       })},  // lenient UTF-8
      {"[]", 200, true, empty},
      {"\"a string\"", 200, true, empty},
      {"{}", 200, true, empty},
      {R"({"error": "station not found"})", 404, true, empty},
      {std::string(64, '[') + std::string(64, ']'), 200, true, empty},
      {std::string(65, '[') + std::string(65, ']'), 200, false, old},  // nested too deeply
      {"<html><body><h1>Bad Gateway</h1></body></html>", 502, false, old},
      {"{} trailing", 200, false, old},
      {"", 200, false, old},
  };
  for (const Case& c : cases) {
    service->Set(SongPath, c.body, c.status);
    LFM::api_current_song got = old;
    EXPECT_EQ(FetchCurrentSong("ormelund-radio", &got), c.want_ok) << c.body;
    EXPECT_EQ(Describe(got), Describe(c.want)) << c.body;
  }
}

TEST_F(SongTest, HttpGetJsonSendsTheGivenOrTheDefaultUserAgent) {
  service->Set("/doc", R"({"a": [1, 2]})");
  JsonValue document;
  ASSERT_TRUE(HttpGetJson(&document, service->Url("/doc"), 0, "Custom/1.0"));
  EXPECT_EQ(service->UserAgent("/doc"), "Custom/1.0");
  ASSERT_NE(FindMember(document, "A"), nullptr);
  EXPECT_EQ(FindMember(document, "a")->items.size(), 2u);

  ASSERT_TRUE(HttpGetJson(&document, service->Url("/doc"), 0, ""));
  EXPECT_EQ(service->UserAgent("/doc"), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");

  service->Set("/doc", "not json");
  document.text = "untouched";
  EXPECT_FALSE(HttpGetJson(&document, service->Url("/doc"), 0, ""));
  EXPECT_EQ(document.text, "untouched");
}

}  // namespace
