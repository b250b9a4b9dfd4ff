// HTTPS downloads into memory, on libcurl's easy interface: one handle per request.
//
// Every request: TLS verified (against CaFile when it is set, else the system's store), HTTPS
// only (redirects too, at most 10), connect time-out 3 s, whole transfer 5 s, no signals, and a
// body larger than 1 MiB counts as a failed transfer.
#pragma once

#include <cstddef>
#include <string>

constexpr int DownloadNoRedirects = 2;
constexpr size_t DownloadMaxBody = 1024 * 1024;

// Certificate authority file the client trusts instead of the system store ("" = system store).
extern std::string CaFile;

// Nonzero when networking can be used; later calls return at once.
bool InitNetworking();
void CloseNetworking();

// GETs `url`. True with the body in *body when a non-empty body arrived (whatever the status).
bool Download(const std::string& url, int flags, const std::string& user_agent, std::string* body);
