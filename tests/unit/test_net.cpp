// Failures of the HTTPS transfer: each ends with the failure result within the time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "../support/service_fixture.h"
#include "platform/net.h"
#include "station/lfm.h"

namespace {

class NetTest : public ServiceTest {};

const std::string SongPath = "/station/ormelund-radio/current_song";

// The whole transfer may take 5 s: well past that means a time-out did not work.
constexpr auto Bound = std::chrono::seconds(9);

TEST_F(NetTest, BodiesUpToOneMebibyteArrive) {
  struct Case {
    int size;
    bool want_ok;
  } cases[] = {{1024 * 1024, true}, {1024 * 1024 + 1, false}};
  for (const Case& c : cases) {
    service->Set("/body", "", 200, {{"mode", "big"}, {"size", c.size}});
    std::string body = "old";
    EXPECT_EQ(Download(service->Url("/body"), 0, "", &body), c.want_ok) << c.size;
    EXPECT_EQ(body.size(), c.want_ok ? static_cast<size_t>(c.size) : 3u) << c.size;
  }
}

// Each case breaks the song's path (and, where it can, the clock's): the song request gives false
// and leaves the record alone, the clock -1, both within the time-outs.
TEST_F(NetTest, FaultsGiveTheFailureResultInTime) {
  const std::string plain_url = "http://127.0.0.1:" + std::to_string(service->http_port) + "/plain";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    bool clock_fails;
  } cases[] = {
      {"accepts but never starts TLS",
       [] {
         service->Command({{"cmd", "silent"}, {"on", true}});
       },
       true},
      {"reads the request and never answers",
       [] {
         service->Set(SongPath, "", 200, {{"mode", "hang"}});
         service->Set("/time", "", 200, {{"mode", "hang"}});
       },
       true},
      {"answers 5 MiB of good content",
       [] {
         service->Set(SongPath, R"({"title": "New"})", 200, {{"mode", "big"}});
         service->Set("/time", "\"1970-01-01 01:00:00\"", 200, {{"mode", "big"}});
       },
       true},
      {"has a certificate from an authority not trusted", [] { CaFile = service->other_ca_file; },
       true},
      {"is not there", [] { ApiHost = "localhost:" + std::to_string(UnusedPort()); }, true},
      {"redirects to itself",
       [] {
         service->Set(SongPath, "", 302, {{"location", service->Url(SongPath)}});
       },
       false},
      {"redirects to plain HTTP",
       [&] {
         service->Set(SongPath, "", 302, {{"location", plain_url}});
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    service->Set("/time", "\"1970-01-01 01:00:00\"");
    service->Set(SongPath, R"({"title": "New"})");
    service->Set("/plain", R"({"title": "over plain HTTP"})");  // would be read if followed
    c.arrange();

    const LFM::api_current_song old = OldSong();
    LFM::api_current_song song = old;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchCurrentSong("ormelund-radio", &song));
    EXPECT_LT(std::chrono::steady_clock::now() - start, Bound);
    EXPECT_EQ(Describe(song), Describe(old));
    EXPECT_EQ(service->Count("/plain"), 0);

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchServerTime(), c.clock_fails ? -1 : 3600);
    EXPECT_LT(std::chrono::steady_clock::now() - start, Bound);
  }
}

TEST_F(NetTest, ARedirectLoopStopsAfterTenRedirects) {
  service->Set("/loop", "", 302, {{"location", service->Url("/loop")}});
  std::string body;
  EXPECT_FALSE(Download(service->Url("/loop"), 0, "", &body));
  EXPECT_EQ(service->Count("/loop"), 11);
}

}  // namespace
