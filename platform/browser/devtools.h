// The DevTools connection to one Chromium process over
// --remote-debugging-pipe: JSON messages separated by NUL bytes, commands
// written to the browser's fd 3 and answers and events read from its fd 4.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/base/result.h"

namespace ss::devtools {

using Json = nlohmann::json;

// The browser program of Debian's "chromium" package: the browser itself
// when it is where the package puts it, else the launcher on the PATH's
// usual place. (The launcher, /usr/bin/chromium, is a script that runs a
// dozen helper programs and adds desktop flags before it starts the browser:
// a noticeable part of each capture's start.)
std::string InstalledChromium();

struct LaunchOptions {
  std::string executable;  // empty: InstalledChromium()
  bool headless = true;
  int windowWidth = 1280;
  int windowHeight = 1024;
};

// Default bound for one call; a call never waits longer than its bound.
constexpr int kCallTimeoutMs = 60000;

class Connection {
 public:
  using EventHandler = std::function<void(const std::string& method, const Json& params)>;

  // Starts Chromium with a fresh profile folder and waits until it answers.
  // BROWSER_E_NOT_INSTALLED, BROWSER_E_START_FAILED; `message` explains.
  static HRESULT Launch(const LaunchOptions& options, std::shared_ptr<Connection>* out, std::string* message);

  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends a command (to the browser when `sessionId` is empty, else to that
  // session) and waits for its answer. RPC_E_SERVER_DIED when Chromium goes
  // away, BROWSER_E_TIMEOUT after `timeoutMs`, E_FAIL (message set) when
  // Chromium answers with an error.
  HRESULT Call(const std::string& method, const Json& params, const std::string& sessionId, Json* result,
               std::string* message, int timeoutMs = kCallTimeoutMs);

  // Sends a command without waiting for its answer (usable from event
  // handlers, which must never wait).
  void Post(const std::string& method, const Json& params, const std::string& sessionId);

  // Event handlers run on the reading thread and must be quick. Handlers of
  // one session get only that session's events; "" gets the browser's.
  int Subscribe(const std::string& sessionId, EventHandler handler);
  void Unsubscribe(int token);

  bool Alive() const { return alive_.load(); }
  pid_t Pid() const { return pid_; }
  bool Headless() const { return headless_; }
  // Chromium ended by itself with status 0 (the user quit a visible one).
  bool ExitedCleanly() const { return exitedCleanly_.load(); }

  // Ends Chromium and everything it started, reaps it and removes the
  // profile folder. Pending calls fail.
  void Shutdown();

 private:
  Connection() = default;
  void ReadLoop();
  void Dispatch(const char* data, std::size_t size);
  void MarkDead();
  bool WriteMessage(const std::string& text);
  void Reap(int graceMs);

  pid_t pid_ = 0;
  int toBrowser_ = -1;
  int fromBrowser_ = -1;
  int wakeRead_ = -1;   // self-pipe that stops the reading thread
  int wakeWrite_ = -1;
  bool headless_ = true;
  std::string profileDir_;
  std::thread reader_;
  std::atomic<bool> alive_{false};
  std::atomic<bool> reaped_{false};
  bool groupKilled_ = false;
  std::atomic<bool> exitedCleanly_{false};

  std::mutex writeMu_;

  struct Pending {
    bool done = false;
    bool ok = false;
    Json result;
    std::string error;
  };
  std::mutex mu_;
  std::condition_variable cv_;
  std::int64_t nextId_ = 1;
  std::map<std::int64_t, std::shared_ptr<Pending>> pending_;
  int nextToken_ = 1;
  std::map<int, std::pair<std::string, EventHandler>> handlers_;
  std::mutex reapMu_;
};

}  // namespace ss::devtools
