// Helpers for tests of the player page with the real web engine: the local station (Icecast fed
// by ffmpeg, tools/station) on free loopback ports, a window holding the web view where the
// program puts it, and scripts run in the page.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct LocalStation {
  std::string folder;  // the station's state, removed by StopLocalStation
  int api_port = 0;
  int control_port = 0;
  int stream_port = 0;
};

// Starts a station in a fresh folder on free ports; it stops when this process ends at the latest.
bool StartLocalStation(LocalStation* station);
// Runs a station.sh command for it (stream-stop, stream-start, ...); true on success.
bool StationCommand(const LocalStation& station, const std::string& command);
void StopLocalStation(LocalStation* station);

// A test suite with one local station for all its tests.
class LocalStationTest : public testing::Test {
 protected:
  static inline LocalStation station;
  static void SetUpTestSuite() { StartLocalStation(&station); }
  static void TearDownTestSuite() { StopLocalStation(&station); }
  void SetUp() override {
    ASSERT_FALSE(station.folder.empty()) << "the local station did not start";
  }
};

// A relay on loopback to another port whose open connections can be frozen (nothing passes, nothing
// closes), as in a network that drops everything: tests/support/freeze_relay.py.
struct FreezeRelay {
  std::string folder;
  int port = 0;
  int pid = 0;
};
bool StartFreezeRelay(int target_port, FreezeRelay* relay);
void FreezeRelayConnections(const FreezeRelay& relay);
// The request lines of the connections the relay carried, in order.
std::vector<std::string> RelayRequests(const FreezeRelay& relay);
void StopFreezeRelay(FreezeRelay* relay);

// A loopback port on which nothing listens (it was free a moment ago).
int FreePort();

// The player page with its stream address on `port` of 127.0.0.1 instead of port 8000.
std::string PlayerPageOnPort(int port);

// Window 1 with web view 3 at the program's place for it, shown; with the watchdog when asked.
bool OpenPlayerWindow(bool watchdog);

// A real click of the pointer at x, y of the main window's inner area; true when it was sent.
bool ClickWindow(int x, int y, int button);

// The value of a script run in the player page (JSON text for non-strings; "" on failure).
std::string PageValue(const std::string& script);
double PageNumber(const std::string& script);
// Waits, dispatching events, until the script's value is "true".
bool PageBecomes(const std::string& condition, int ms);
