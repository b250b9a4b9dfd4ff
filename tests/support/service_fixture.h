// A test suite fixture that runs one fake station service for the whole suite and points the
// client at it (ApiHost, CaFile), restoring both afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_service.h"
#include "platform/net.h"
#include "song_records.h"
#include "station/lfm.h"

class ServiceTest : public testing::Test {
 protected:
  static inline FakeService* service = nullptr;
  static inline std::string saved_host;
  static inline std::string saved_ca_file;

  static void SetUpTestSuite() {
    saved_host = ApiHost;
    saved_ca_file = CaFile;
    service = new FakeService;
    service->Start();
  }

  static void TearDownTestSuite() {
    delete service;
    service = nullptr;
    ApiHost = saved_host;
    CaFile = saved_ca_file;
  }

  void SetUp() override {
    ASSERT_GT(service->https_port, 0) << "the fake service did not start";
    service->Reset();
    ApiHost = service->Host();
    CaFile = service->ca_file;
  }
};

// Every field of a song, one per line, for comparisons that show what differs.
inline std::string Describe(const LFM::api_current_song& s) {
  const LFM::api_artist& a = s.artist;
  return "id=" + std::to_string(s.id) + "\ntype=" + s.type + "\ntitle=" + s.title +
         "\nalbum=" + s.album + "\nlength=" + std::to_string(s.length) + "\ngenre=" + s.genre +
         "\nreleaseyear=" + std::to_string(s.releaseyear) + "\ncreated_at=" + s.created_at +
         "\nartist.name=" + a.name + "\nartist.laut_id=" + std::to_string(a.laut_id) +
         "\nartist.url=" + a.url + "\nartist.laut_url=" + a.laut_url + "\nartist.image=" + a.image +
         "\nartist.thumb=" + a.thumb + "\nstarted_at=" + s.started_at + "\nends_at=" + s.ends_at;
}
