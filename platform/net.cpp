// HTTPS downloads into memory on libcurl's easy interface.
#include "platform/net.h"

#include <curl/curl.h>

#include "config.h"

std::string CaFile = ORMELUND_CA_FILE;

namespace {

bool NetworkingReady = false;

constexpr long ConnectTimeoutMs = 3000;
constexpr long TransferTimeoutMs = 5000;
constexpr long MaxRedirects = 10;

// Collects the body; returning less than was offered makes libcurl end the transfer with an error,
// which is how an oversized body (chunked ones included, whose size nobody announces) fails.
size_t CollectBody(char* data, size_t size, size_t count, void* user) {
  auto* received = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  if (received->size() + bytes > DownloadMaxBody) return 0;
  received->append(data, bytes);
  return bytes;
}

// Sets every option of one request; false when the library refuses any of them, so that a
// transfer never runs with weaker settings than intended.
bool SetRequestOptions(CURL* curl, const std::string& url, int flags, const std::string& user_agent,
                       std::string* received) {
  const bool follow = (flags & DownloadNoRedirects) == 0;
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MaxRedirects) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, TransferTimeoutMs) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, received) == CURLE_OK;
  if (ok && !user_agent.empty())
    ok = curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent.c_str()) == CURLE_OK;
  // A configured authority replaces the system's store entirely, the built-in folder included.
  if (ok && !CaFile.empty())
    ok = curl_easy_setopt(curl, CURLOPT_CAINFO, CaFile.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr) == CURLE_OK;
  return ok;
}

}  // namespace

bool InitNetworking() {
  if (!NetworkingReady) NetworkingReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return NetworkingReady;
}

void CloseNetworking() {
  if (!NetworkingReady) return;
  curl_global_cleanup();
  NetworkingReady = false;
}

bool Download(const std::string& url, int flags, const std::string& user_agent, std::string* body) {
  if (body == nullptr) return false;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  std::string received;
  const bool done = SetRequestOptions(curl, url, flags, user_agent, &received) &&
                    curl_easy_perform(curl) == CURLE_OK;
  curl_easy_cleanup(curl);
  if (!done || received.empty()) return false;
  *body = std::move(received);
  return true;
}
