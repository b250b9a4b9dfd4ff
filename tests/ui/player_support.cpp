#include "player_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/ids.h"
#include "platform/controls.h"
#include "platform/webview.h"
#include "platform/window.h"
#include "player/player_page.h"
#include "player/stream_watchdog.h"
#include "ui_support.h"

namespace {

const std::string StationScript = std::string(TEST_SOURCE_DIR) + "/../tools/station/station.sh";
// The station's audio takes seconds to make: it is kept between runs where the build's own
// station and the end-to-end tests keep it.
const std::string AudioCache = std::string(TEST_BINARY_DIR) + "/station/audio";

// Ports that are free at once: all are held until every one is chosen.
std::vector<int> FreePorts(int count) {
  std::vector<int> sockets, ports;
  for (int i = 0; i < count; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ports.push_back(0);
    } else {
      ports.push_back(ntohs(address.sin_port));
    }
    if (fd >= 0) sockets.push_back(fd);
  }
  for (int fd : sockets) close(fd);
  return ports;
}

std::string ReadText(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "r")) {
    char buffer[256];
    size_t length = std::fread(buffer, 1, sizeof buffer, file);
    text.assign(buffer, length);
    std::fclose(file);
  }
  return text;
}

// Puts a station's audio into the cache unless the cache holds the same (its stamp names the
// recipe). Each file arrives whole, by a rename, so tests running at once read whole files; the
// stamp comes last.
void KeepAudio(const std::string& audio) {
  std::string stamp = ReadText(audio + "/stamp");
  if (stamp.empty() || ReadText(AudioCache + "/stamp") == stamp) return;
  std::error_code error;
  std::filesystem::create_directories(AudioCache, error);
  for (const char* name : {"loop.mp3", "stamp"}) {
    std::string temporary = AudioCache + "/" + name + "." + std::to_string(getpid());
    std::filesystem::copy_file(audio + "/" + name, temporary,
                               std::filesystem::copy_options::overwrite_existing, error);
    std::filesystem::rename(temporary, AudioCache + "/" + name, error);
  }
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

}  // namespace

int FreePort() {
  return FreePorts(1)[0];
}

bool StartLocalStation(LocalStation* station) {
  char pattern[] = "/tmp/ormelund-station-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  station->folder = pattern;
  chmod(pattern, 0755);  // Icecast runs as icecast2 and writes its logs below it
  std::vector<int> ports = FreePorts(3);
  station->api_port = ports[0];
  station->control_port = ports[1];
  station->stream_port = ports[2];
  std::error_code error;
  std::filesystem::create_directories(station->folder + "/audio", error);
  // The stamp first: should the cache change meanwhile, the station finds it stale and remakes.
  for (const char* name : {"stamp", "loop.mp3"})
    std::filesystem::copy_file(AudioCache + "/" + name, station->folder + "/audio/" + name, error);
  std::string command = "STATION_API_PORT=" + std::to_string(station->api_port) +
                        " STATION_CONTROL_PORT=" + std::to_string(station->control_port) +
                        " STATION_STREAM_PORT=" + std::to_string(station->stream_port) +
                        " STATION_WATCH_PID=" + std::to_string(getpid()) + " bash " +
                        Quoted(StationScript) + " start " + Quoted(station->folder) + " >" +
                        Quoted(station->folder + "/start.out") + " 2>&1";
  if (Shell(command) != 0) {
    Shell("cat " + Quoted(station->folder + "/start.out") + " >&2");
    return false;
  }
  KeepAudio(station->folder + "/audio");
  return true;
}

bool StationCommand(const LocalStation& station, const std::string& command) {
  return ShellWhilePumping("bash " + Quoted(StationScript) + " " + command + " " +
                           Quoted(station.folder) + " >/dev/null") == 0;
}

void StopLocalStation(LocalStation* station) {
  if (station->folder.empty()) return;
  Shell("bash " + Quoted(StationScript) + " stop " + Quoted(station->folder) + " >/dev/null 2>&1");
  std::error_code error;
  std::filesystem::remove_all(station->folder, error);
  station->folder.clear();
}

bool StartFreezeRelay(int target_port, FreezeRelay* relay) {
  char pattern[] = "/tmp/ormelund-relay-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  relay->folder = pattern;
  Shell("python3 " + Quoted(std::string(TEST_SOURCE_DIR) + "/support/freeze_relay.py") + " " +
        std::to_string(target_port) + " " + Quoted(relay->folder) + " " + std::to_string(getpid()) +
        " </dev/null >/dev/null 2>&1 &");
  PumpUntil([&] { return std::filesystem::exists(relay->folder + "/port"); }, 5000);
  for (auto [name, value] : {std::pair{"/pid", &relay->pid}, std::pair{"/port", &relay->port}}) {
    if (FILE* file = std::fopen((relay->folder + name).c_str(), "r")) {
      if (std::fscanf(file, "%d", value) != 1) *value = 0;
      std::fclose(file);
    }
  }
  return relay->port > 0 && relay->pid > 0;
}

void FreezeRelayConnections(const FreezeRelay& relay) {
  if (relay.pid > 0) kill(relay.pid, SIGUSR1);
}

std::vector<std::string> RelayRequests(const FreezeRelay& relay) {
  std::vector<std::string> lines;
  if (FILE* file = std::fopen((relay.folder + "/requests").c_str(), "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
      std::string text = line;
      if (!text.empty() && text.back() == '\n') text.pop_back();
      lines.push_back(text);
    }
    std::fclose(file);
  }
  return lines;
}

void StopFreezeRelay(FreezeRelay* relay) {
  if (relay->pid > 0) kill(relay->pid, SIGTERM);
  std::error_code error;
  if (!relay->folder.empty()) std::filesystem::remove_all(relay->folder, error);
  *relay = {};
}

std::string PlayerPageOnPort(int port) {
  std::string page = BuildPlayerPage("127.0.0.1");
  size_t at = page.find(":8000/");
  if (at != std::string::npos) page.replace(at, 6, ":" + std::to_string(port) + "/");
  return page;
}

bool OpenPlayerWindow(bool watchdog) {
  if (!OpenWindow(MainWindow, 0, 0, 730, 195, "Ormelund-Radio player test")) return false;
  if (!CreateWebView(WebPlayer, 170, 154, 558, 40, "")) return false;
  if (watchdog) InstallStreamWatchdog(WebPlayer);
  ShowWindow(MainWindow);
  return PumpUntil([] { return MainWindowXid() != 0; }, 5000);
}

bool ClickWindow(int x, int y, int button) {
  return ShellWhilePumping("xdotool mousemove --window " + std::to_string(MainWindowXid()) + " " +
                           std::to_string(x) + " " + std::to_string(y) + " click " +
                           std::to_string(button)) == 0;
}

std::string PageValue(const std::string& script) {
  std::string value;
  return RunWebViewScript(WebPlayer, script, &value) ? value : "";
}

double PageNumber(const std::string& script) {
  std::string value = PageValue(script);
  return value.empty() ? -1 : std::strtod(value.c_str(), nullptr);
}

bool PageBecomes(const std::string& condition, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (PageValue(condition) == "true") return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpEvents(100);
  }
}
