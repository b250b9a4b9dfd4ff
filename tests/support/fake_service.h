// Runs tests/support/fake_service.py as a child process: a real HTTPS server on loopback with a
// test certificate authority, scripted per path through the child's standard input.
//
// Start() makes a fresh folder under the build's temp folder for the certificates; Stop() (also
// run by the destructor) ends the child and removes the folder. Should the test process die, the
// child sees its standard input close and ends by itself.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

extern char** environ;

struct FakeService {
  pid_t pid = -1;
  FILE* to_child = nullptr;
  FILE* from_child = nullptr;
  std::string folder;
  int https_port = 0;
  int http_port = 0;
  std::string ca_file;        // trusts the server's certificate
  std::string other_ca_file;  // an unrelated authority: the server is untrusted under it

  FakeService() = default;
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;
  ~FakeService() { Stop(); }

  bool Start() {
    const std::filesystem::path temp = std::filesystem::path(TEST_BINARY_DIR) / "temp";
    std::filesystem::create_directories(temp);
    std::string pattern = (temp / "fake-service-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return false;
    folder = pattern;

    int in[2], out[2];
    if (pipe(in) != 0) return false;
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string script = std::string(TEST_SOURCE_DIR) + "/support/fake_service.py";
    const char* argv[] = {"python3", script.c_str(), "--dir", folder.c_str(), nullptr};
    const int spawned =
        posix_spawnp(&pid, "python3", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
      pid = -1;
      close(in[1]);
      close(out[0]);
      return false;
    }
    // Later children (other servers) must not inherit these ends, or EOF never reaches this one.
    fcntl(in[1], F_SETFD, FD_CLOEXEC);
    fcntl(out[0], F_SETFD, FD_CLOEXEC);
    to_child = fdopen(in[1], "w");
    from_child = fdopen(out[0], "r");

    const nlohmann::json ready = ReadLine();
    if (!ready.contains("https_port")) return false;
    https_port = ready["https_port"];
    http_port = ready["http_port"];
    ca_file = ready["ca"];
    other_ca_file = ready["other_ca"];
    return true;
  }

  void Stop() {
    if (to_child != nullptr) fclose(to_child);
    if (from_child != nullptr) fclose(from_child);
    to_child = from_child = nullptr;
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
    if (!folder.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
      folder.clear();
    }
  }

  std::string Host() const { return "localhost:" + std::to_string(https_port); }
  std::string Url(const std::string& path) const { return "https://" + Host() + path; }

  // Sends one command and returns the child's answer ({} when the child is gone).
  nlohmann::json Command(const nlohmann::json& message) {
    if (to_child == nullptr) return {};
    fputs((message.dump() + "\n").c_str(), to_child);
    fflush(to_child);
    return ReadLine();
  }

  // Answers GET `path` with `body` and `status`; `extra` adds location, delay, mode, size.
  void Set(const std::string& path, const std::string& body, int status = 200,
           nlohmann::json extra = nlohmann::json::object()) {
    extra["cmd"] = "set";
    extra["path"] = path;
    // As hex, so that any bytes (a zero byte, invalid UTF-8) reach the wire unchanged.
    std::string hex;
    for (unsigned char byte : body) {
      hex.push_back("0123456789abcdef"[byte >> 4]);
      hex.push_back("0123456789abcdef"[byte & 15]);
    }
    extra["body_hex"] = hex;
    extra["status"] = status;
    Command(extra);
  }

  // Requests that reached `path` so far; -1 when the child is gone.
  int Count(const std::string& path) {
    return Command({{"cmd", "count"}, {"path", path}}).value("count", -1);
  }

  std::string UserAgent(const std::string& path) {
    const nlohmann::json answer = Command({{"cmd", "count"}, {"path", path}});
    return answer.contains("user_agent") && answer["user_agent"].is_string()
               ? answer["user_agent"].get<std::string>()
               : "";
  }

  void Reset() { Command({{"cmd", "reset"}}); }

 private:
  nlohmann::json ReadLine() {
    if (from_child == nullptr) return {};
    std::string line;
    for (int c = fgetc(from_child); c != EOF && c != '\n'; c = fgetc(from_child))
      line.push_back(static_cast<char>(c));
    return nlohmann::json::parse(line, nullptr, false);
  }
};

// A loopback port with nothing listening on it.
inline int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}
