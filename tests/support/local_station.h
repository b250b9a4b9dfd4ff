// Runs the local station (tools/station/station.sh) for a test: on free loopback ports, in a
// private state folder under the build's temp folder, stopped with the test process at the latest
// (the station watches it). The station's audio is made once and kept in temp/station-audio for
// later runs, because making it takes a while.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "fake_service.h"  // UnusedPort

struct LocalStation {
  std::string state;  // the state folder
  int api_port = 0;
  int control_port = 0;

  LocalStation() = default;
  LocalStation(const LocalStation&) = delete;
  LocalStation& operator=(const LocalStation&) = delete;
  ~LocalStation() { Stop(); }

  // `settings`: station settings as environment assignments, e.g. "TIME_SCALE=200".
  bool Start(const std::string& settings) {
    const std::filesystem::path temp = std::filesystem::path(TEST_BINARY_DIR) / "temp";
    std::filesystem::create_directories(temp);
    std::string pattern = (temp / "station-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return false;
    state = pattern;
    const std::string audio_cache = (temp / "station-audio").string();
    if (std::filesystem::exists(audio_cache + "/loop.mp3"))
      Run("cp -a '" + audio_cache + "' '" + state + "/audio'");
    api_port = UnusedPort();
    do control_port = UnusedPort();
    while (control_port == api_port);
    int stream_port;
    do stream_port = UnusedPort();
    while (stream_port == api_port || stream_port == control_port);
    const bool started =
        Run("STATION_API_PORT=" + std::to_string(api_port) + " STATION_CONTROL_PORT=" +
            std::to_string(control_port) + " STATION_STREAM_PORT=" + std::to_string(stream_port) +
            " STATION_WATCH_PID=" + std::to_string(getpid()) + " " + settings + " '" + Script() +
            "' start '" + state + "' >'" + state + "-start.log' 2>&1");
    if (started && !std::filesystem::exists(audio_cache))
      Run("cp -a '" + state + "/audio' '" + audio_cache + "'");
    return started;
  }

  void Stop() {
    if (state.empty()) return;
    Run("'" + Script() + "' stop '" + state + "' >/dev/null 2>&1");
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    std::filesystem::remove(state + "-start.log", ignored);
    state.clear();
  }

  std::string Host() const { return "localhost:" + std::to_string(api_port); }
  std::string CaFile() const { return state + "/ca.pem"; }

  // Switches a fault on ("normal" ends all); `only` names one resource: "time" or "song".
  bool Fault(const std::string& name, const std::string& only = "") {
    return Run("'" + Script() + "' --dir '" + state + "' fault " + name + " " + only +
               " >/dev/null");
  }

  // Requests per path since the last ResetCounts().
  int Count(const std::string& path) {
    const nlohmann::json counts = nlohmann::json::parse(Output("counts"), nullptr, false);
    return counts.is_object() ? counts.value(path, 0) : -1;
  }
  bool ResetCounts() {
    return Run("'" + Script() + "' --dir '" + state + "' counts reset >/dev/null");
  }

 private:
  static std::string Script() {
    return std::string(TEST_SOURCE_DIR) + "/../tools/station/station.sh";
  }
  static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
  std::string Output(const std::string& arguments) {
    const std::string command = "'" + Script() + "' --dir '" + state + "' " + arguments;
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
      pclose(pipe);
    }
    return text;
  }
};
