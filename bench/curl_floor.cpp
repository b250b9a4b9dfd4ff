// The floor of one poll tick: the same requests as the player's tick (the clock, and the current
// song when the refresh rule says it is due), made by a bare libcurl program with the player's
// options and a new connection each, and nothing else.
//
// Usage: curl_floor [--step] API_HOST CA_FILE ROUNDS
// Prints one line per round: "wall_us cpu_us song", as tick_driver does; --step as there.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr const char* UserAgent = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";
constexpr int64_t StreamDelay = 42;

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The options of the player's requests (platform/net.cpp), one new handle per request.
bool Get(const std::string& url, bool follow, const char* ca_file, std::string* body) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent);
  curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file);
  curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  const bool ok = curl_easy_perform(curl) == CURLE_OK;
  curl_easy_cleanup(curl);
  return ok && !body->empty();
}

// Seconds of "YYYY-MM-DD hh:mm:ss" at `from` in `text`, on the calendar as written; -1 if none.
int64_t ParseStamp(const std::string& text, size_t from) {
  tm fields{};
  if (from >= text.size() ||
      std::sscanf(text.c_str() + from, "%4d-%2d-%2d %2d:%2d:%2d", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec) != 6)
    return -1;
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&fields));
}

int64_t MemberStamp(const std::string& json, const std::string& name) {
  const size_t at = json.find("\"" + name + "\"");
  if (at == std::string::npos) return -1;
  const size_t quote = json.find('"', json.find(':', at));
  return quote == std::string::npos ? -1 : ParseStamp(json, quote + 1);
}

int64_t ProcessCpuMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

}  // namespace

int main(int argc, char** argv) {
  const bool step = argc > 1 && std::string(argv[1]) == "--step";
  if (step) {
    --argc;
    ++argv;
  }
  if (argc != 4 || std::atoi(argv[3]) <= 0) {
    std::fputs("usage: curl_floor [--step] API_HOST CA_FILE ROUNDS\n", stderr);
    return 2;
  }
  const std::string base = std::string("https://") + argv[1];
  const char* ca_file = argv[2];
  const int rounds = std::atoi(argv[3]);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  int64_t started_at = -1;
  int64_t ends_at = -1;
  char line[16];
  for (int i = 0; i < rounds; ++i) {
    if (step && std::fgets(line, sizeof line, stdin) == nullptr) break;
    const int64_t cpu_before = ProcessCpuMicroseconds();
    const auto before = std::chrono::steady_clock::now();
    std::string clock;
    int64_t now = -1;
    if (Get(base + "/time", false, ca_file, &clock))
      now = ParseStamp(clock, clock.empty() || clock[0] != '"' ? 0 : 1);
    bool song = false;
    if (now >= ends_at + StreamDelay && now > started_at + StreamDelay) {
      std::string answer;
      if (Get(base + "/station/ormelund-radio/current_song", true, ca_file, &answer)) {
        started_at = MemberStamp(answer, "started_at");
        ends_at = MemberStamp(answer, "ends_at");
        song = true;
      }
    }
    const auto after = std::chrono::steady_clock::now();
    const int64_t cpu_after = ProcessCpuMicroseconds();
    std::printf("%lld %lld %d\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(after - before).count()),
                static_cast<long long>(cpu_after - cpu_before), song ? 1 : 0);
    if (step) std::fflush(stdout);
  }
  curl_global_cleanup();
  return 0;
}
