// The song tracker against a real HTTPS server on loopback whose clock the tests set.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../support/service_fixture.h"
#include "app/ids.h"
#include "platform/events.h"
#include "settings/preferences.h"
#include "station/tracker.h"

namespace {

const std::string SongPath = "/station/ormelund-radio/current_song";
constexpr int64_t T = 1709210096;  // 2024-02-29 12:34:56

// A date value as the service writes it.
std::string Stamp(int64_t value) {
  using namespace std::chrono;
  const sys_seconds time{seconds(value)};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<long>(clock.hours().count()),
                static_cast<long>(clock.minutes().count()),
                static_cast<long>(clock.seconds().count()));
  return text;
}

// The song the station plays at T, as the service describes it.
LFM::api_current_song PlayingSong() {
  LFM::api_current_song s;
  s.id = 501;
  s.type = "song";
  s.title = "Lux";
  s.album = "Nordlicht";
  s.length = 215;
  s.genre = "Pop";
  s.releaseyear = 2021;
  s.created_at = Stamp(T - 3600);
  s.artist = {"Hedda", 77, "url", "laut-url", "image", "thumb"};
  s.started_at = Stamp(T - 100);
  s.ends_at = Stamp(T + 115);
  return s;
}

struct Seen {
  int control;
  int64_t type;
  intptr_t data;
  bool operator==(const Seen&) const = default;
};
std::vector<Seen> Events;

void RecordEvent() {
  Events.push_back({CurrentEventControl(), CurrentEventType(), CurrentEventData()});
}

const Seen RedrawOfCurrentSong = {CanvasNowPlaying, EventTypeRedraw,
                                  reinterpret_cast<intptr_t>(&CurrentSong)};

class TrackerTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    CurrentSong = {};
    StreamDelay = 42;
    AppSettings.MainStation = "ormelund-radio";
    BindControl(CanvasNowPlaying, RecordEvent);
    Drain();
    Events.clear();
  }
  void TearDown() override {
    Drain();
    CurrentSong = {};
  }
  // Lets the main loop dispatch whatever was posted.
  static void Drain() {
    for (int i = 0; i < 5; ++i) WaitEvent(1);
  }
  static void SetClock(int64_t now) { service->Set("/time", "\"" + Stamp(now) + "+01:00\""); }
  // One tick of the poll timer, then the main loop's turn.
  static void Tick() {
    OnPollTimer();
    Drain();
  }
};

TEST_F(TrackerTest, FirstTickWithTheServiceReachableFetchesAndPostsOnce) {
  SetClock(T);
  service->Set(SongPath, SongJson(PlayingSong()));

  OnPollTimer();
  EXPECT_TRUE(Events.empty()) << "the redraw is posted, not handled during the tick";
  Drain();
  EXPECT_EQ(service->Count("/time"), 1);
  EXPECT_EQ(service->Count(SongPath), 1);
  EXPECT_EQ(Describe(CurrentSong), Describe(PlayingSong()));
  EXPECT_EQ(Events, std::vector<Seen>{RedrawOfCurrentSong});

  SetClock(T + 1);  // the song plays on: no request, no event
  Tick();
  EXPECT_EQ(service->Count("/time"), 2);
  EXPECT_EQ(service->Count(SongPath), 1);
  EXPECT_EQ(Events.size(), 1u);
}

TEST_F(TrackerTest, AnUnreadableClockAsksForNoSong) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"the clock answers an error page",
       [] { service->Set("/time", "<html><body>Bad Gateway</body></html>", 502); }},
      {"the service is not there", [] { ApiHost = "localhost:" + std::to_string(UnusedPort()); }},
  };
  for (const bool song_on_display : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (song_on_display ? ", a song on display" : ""));
      SetUp();
      LFM::api_current_song stored;
      if (song_on_display) {
        stored = PlayingSong();
        stored.ends_at = Stamp(T - 3600);  // long over: a readable clock would fetch
      }
      CurrentSong = stored;
      service->Set(SongPath, SongJson(PlayingSong()));
      c.arrange();
      Tick();
      EXPECT_EQ(service->Count(SongPath), 0);
      EXPECT_TRUE(Events.empty());
      EXPECT_EQ(Describe(CurrentSong), Describe(stored));
    }
  }
}

TEST_F(TrackerTest, AsksOnceTheEndPlusTheDelayHasPassed) {
  const int64_t S = T - 200;
  struct Case {
    std::string ends_at;
    std::string started_at;
    int64_t clock;
    int want_requests;
  } cases[] = {
      {Stamp(T), Stamp(S), T + 41, 0},
      {Stamp(T), Stamp(S), T + 42, 1},  // greater than or equal
      {Stamp(T) + "+01:00", Stamp(S), T + 42, 1},
      {"", Stamp(S), S + 42, 0},
      {"", Stamp(S), S + 43, 1},  // strictly greater
      {"not a date", "", 41, 0},
      {"not a date", "", 42, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("ends_at '" + c.ends_at + "', started_at '" + c.started_at + "', clock " +
                 Stamp(c.clock));
    SetUp();
    CurrentSong = PlayingSong();
    CurrentSong.ends_at = c.ends_at;
    CurrentSong.started_at = c.started_at;
    service->Set(SongPath, SongJson(PlayingSong()));  // the same song: nothing changes
    SetClock(c.clock);
    Tick();
    EXPECT_EQ(service->Count(SongPath), c.want_requests);
    EXPECT_TRUE(Events.empty());
  }
}

TEST_F(TrackerTest, OnlyArtistAlbumOrTitleMakeASongNew) {
  struct Case {
    const char* name;
    std::function<void(LFM::api_current_song&)> change;
    bool is_new;
  } cases[] = {
      {"artist name in other letter case", [](auto& s) { s.artist.name = "HEDDA"; }, true},
      {"other album", [](auto& s) { s.album = "Nordlicht II"; }, true},
      {"title with a trailing blank", [](auto& s) { s.title = "Lux "; }, true},
      {"new times",
       [](auto& s) {
         s.started_at = Stamp(T + 10);
         s.ends_at = Stamp(T + 300);
       },
       false},
      {"other genre", [](auto& s) { s.genre = "Rock"; }, false},
      {"other id", [](auto& s) { s.id = 502; }, false},
      {"other artist address", [](auto& s) { s.artist.url = "elsewhere"; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    LFM::api_current_song stored = PlayingSong();
    stored.ends_at = Stamp(T - 42);  // due at T
    CurrentSong = stored;
    LFM::api_current_song fetched = stored;
    c.change(fetched);
    service->Set(SongPath, SongJson(fetched));
    SetClock(T);

    Tick();
    EXPECT_EQ(service->Count(SongPath), 1);
    if (c.is_new) {
      EXPECT_EQ(Describe(CurrentSong), Describe(fetched));
      EXPECT_EQ(Events, std::vector<Seen>{RedrawOfCurrentSong});
    } else {
      EXPECT_EQ(Describe(CurrentSong), Describe(stored));
      EXPECT_TRUE(Events.empty());
      Tick();  // the stored song is still due: the next tick asks again
      EXPECT_EQ(service->Count(SongPath), 2);
      EXPECT_TRUE(Events.empty());
    }
  }
}

TEST_F(TrackerTest, AFailedSongRequestKeepsTheSongAndAsksAgain) {
  struct Case {
    std::string body;
    int status;
  } cases[] = {{"<html><body>Bad Gateway</body></html>", 502}, {"", 200}, {"{\"title\": ", 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    SetUp();
    LFM::api_current_song stored = PlayingSong();
    stored.ends_at = Stamp(T - 3600);
    CurrentSong = stored;
    service->Set(SongPath, c.body, c.status);
    SetClock(T);
    Tick();
    Tick();
    EXPECT_EQ(service->Count(SongPath), 2);
    EXPECT_EQ(Describe(CurrentSong), Describe(stored));
    EXPECT_TRUE(Events.empty());
  }
}

TEST_F(TrackerTest, AnAnswerWithoutTheMembersEmptiesTheDisplayedSong) {
  LFM::api_current_song stored = PlayingSong();
  stored.ends_at = Stamp(T - 3600);
  CurrentSong = stored;
  service->Set(SongPath, R"({"error": "no song"})");
  SetClock(T);

  Tick();
  EXPECT_EQ(Describe(CurrentSong), Describe(LFM::api_current_song{}));
  EXPECT_EQ(Events, std::vector<Seen>{RedrawOfCurrentSong});

  Tick();  // empty times parse to -1: asked again, but an empty song is no news
  EXPECT_EQ(service->Count(SongPath), 2);
  EXPECT_EQ(Events.size(), 1u);
}

}  // namespace
