#include "platform/browser/devtools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/browser/browser.h"

extern char** environ;

namespace ss::devtools {
namespace {

// Moves an fd above the range the child's fds 3 and 4 will take, close-on-exec.
int HighFd(int fd) {
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  close(fd);
  return moved;
}

bool IsProgram(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string MakeProfileDir() {
  std::error_code ec;
  std::string base = std::filesystem::temp_directory_path(ec).string();
  if (ec || base.empty()) base = "/tmp";
  std::string tmpl = base + "/scrollsnap-chromium-XXXXXX";
  if (!mkdtemp(tmpl.data())) return "";
  return tmpl;
}

std::string TailOfFile(const std::string& path, std::size_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  if (s.size() > maxBytes) s = s.substr(s.size() - maxBytes);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

bool IsGoneMessage(const std::string& m) {
  static const char* const kGone[] = {"No session with given id", "Session with given id not found",
                                      "Cannot find context with specified id", "Could not find object with given id",
                                      "Execution context was destroyed", "No frame for given id",
                                      "Frame with the given id was not found", "Target closed",
                                      "No target with given id", "Inspected target navigated or closed",
                                      "Cannot find default execution context", "No frame with given id"};
  for (const char* g : kGone)
    if (m.find(g) != std::string::npos) return true;
  return false;
}

}  // namespace

std::string InstalledChromium() {
  static const char* const kBrowser = "/usr/lib/chromium/chromium";
  return IsProgram(kBrowser) ? kBrowser : "/usr/bin/chromium";
}

HRESULT Connection::Launch(const LaunchOptions& options, std::shared_ptr<Connection>* out, std::string* message) {
  out->reset();
  const std::string executable = options.executable.empty() ? InstalledChromium() : options.executable;
  if (!IsProgram(executable)) {
    *message = "Chromium is not installed: " + executable +
               " was not found. Install the Debian package \"chromium\" (apt-get install chromium).";
    return BROWSER_E_NOT_INSTALLED;
  }

  std::shared_ptr<Connection> c(new Connection());
  c->headless_ = options.headless;
  c->profileDir_ = MakeProfileDir();
  if (c->profileDir_.empty()) {
    *message = std::string("Cannot make a profile folder for Chromium: ") + std::strerror(errno);
    return BROWSER_E_START_FAILED;
  }

  int toChild[2], fromChild[2], wake[2];
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0 || pipe2(wake, O_CLOEXEC) != 0) {
    *message = std::string("Cannot make the pipes to Chromium: ") + std::strerror(errno);
    std::filesystem::remove_all(c->profileDir_);
    return BROWSER_E_START_FAILED;
  }
  int childIn = HighFd(toChild[0]);
  c->toBrowser_ = HighFd(toChild[1]);
  c->fromBrowser_ = HighFd(fromChild[0]);
  int childOut = HighFd(fromChild[1]);
  c->wakeRead_ = wake[0];
  c->wakeWrite_ = wake[1];

  std::vector<std::string> args = {executable};
  if (options.headless) args.push_back("--headless");
  args.push_back("--remote-debugging-pipe");
  args.push_back("--user-data-dir=" + c->profileDir_);
  for (const char* flag : {"--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                           "--disable-component-update", "--disable-sync", "--hide-scrollbars", "--disable-gpu",
                           "--disable-quic", "--disable-extensions", "--mute-audio", "--disable-breakpad",
                           "--disable-crash-reporter", "--password-store=basic", "--use-mock-keychain",
                           // Pages in windows nobody looks at run at full speed.
                           "--disable-background-timer-throttling", "--disable-backgrounding-occluded-windows",
                           "--disable-renderer-backgrounding", "--disable-ipc-flooding-protection",
                           "--disable-hang-monitor", "--disable-field-trial-config",
                           // Colours exactly as the page gives them.
                           "--force-color-profile=srgb"})
    args.push_back(flag);
  if (geteuid() == 0) args.push_back("--no-sandbox");
  // Chromium shares pictures with its helpers through /dev/shm; where that is
  // small (containers), it is told to use the temporary folder instead, as
  // Debian's launcher does.
  if (struct statvfs vfs {}; statvfs("/dev/shm", &vfs) != 0 ||
                             static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize < 4080218931ull)
    args.push_back("--disable-dev-shm-usage");
  args.push_back("--window-size=" + std::to_string(options.windowWidth) + "," + std::to_string(options.windowHeight));
  args.push_back("about:blank");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::string logPath = c->profileDir_ + "/chromium.log";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawn_file_actions_adddup2(&fa, childIn, 3);
  posix_spawn_file_actions_adddup2(&fa, childOut, 4);
  posix_spawn_file_actions_addclosefrom_np(&fa, 5);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGHUP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  // Its own process group, so that it and everything it starts can be ended
  // together.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  close(childIn);
  close(childOut);
  if (rc != 0) {
    *message = "Cannot start Chromium (" + executable + "): " + std::strerror(rc);
    c->Shutdown();
    return rc == ENOENT ? BROWSER_E_NOT_INSTALLED : BROWSER_E_START_FAILED;
  }
  c->pid_ = pid;
  c->alive_ = true;
  c->reader_ = std::thread([raw = c.get()] { raw->ReadLoop(); });

  Json version;
  std::string err;
  HRESULT hr = c->Call("Browser.getVersion", Json::object(), "", &version, &err, 30000);
  if (Failed(hr)) {
    std::string tail = TailOfFile(logPath, 600);
    *message = "Chromium (" + executable + ") did not start";
    if (!err.empty()) *message += ": " + err;
    if (!tail.empty()) *message += "\n" + tail;
    c->Shutdown();
    return BROWSER_E_START_FAILED;
  }
  *out = std::move(c);
  return S_OK;
}

Connection::~Connection() { Shutdown(); }

bool Connection::WriteMessage(const std::string& text) {
  std::lock_guard<std::mutex> lock(writeMu_);
  if (toBrowser_ < 0) return false;
  // A pipe whose reader has died raises SIGPIPE; keep it away from the
  // process while writing and swallow it if it came.
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  bool ok = true;
  const char* p = text.data();
  std::size_t left = text.size() + 1;  // with the NUL that ends the message
  while (left > 0) {
    ssize_t n = write(toBrowser_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (!ok && errno == EPIPE) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

HRESULT Connection::Call(const std::string& method, const Json& params, const std::string& sessionId, Json* result,
                         std::string* message, int timeoutMs) {
  if (!alive_) {
    if (message) *message = "Chromium has gone away";
    return RPC_E_SERVER_DIED;
  }
  auto pending = std::make_shared<Pending>();
  std::int64_t id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    id = nextId_++;
    pending_[id] = pending;
  }
  Json msg = {{"id", id}, {"method", method}, {"params", params.is_null() ? Json::object() : params}};
  if (!sessionId.empty()) msg["sessionId"] = sessionId;
  if (!WriteMessage(msg.dump(-1, ' ', false, Json::error_handler_t::replace))) {
    std::lock_guard<std::mutex> lock(mu_);
    pending_.erase(id);
    if (message) *message = "Chromium has gone away";
    return RPC_E_SERVER_DIED;
  }
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pending->done || !alive_; });
  pending_.erase(id);
  if (!pending->done) {
    if (!alive_) {
      if (message) *message = "Chromium has gone away";
      return RPC_E_SERVER_DIED;
    }
    if (message) *message = "Chromium did not answer " + method + " within " + std::to_string(timeoutMs) + " ms";
    return BROWSER_E_TIMEOUT;
  }
  if (!pending->ok) {
    if (message) *message = method + ": " + pending->error;
    if (!alive_ && pending->error == "Chromium has gone away") return RPC_E_SERVER_DIED;
    return IsGoneMessage(pending->error) ? RPC_E_DISCONNECTED : E_FAIL;
  }
  if (result) *result = std::move(pending->result);
  return S_OK;
}

int Connection::Subscribe(const std::string& sessionId, EventHandler handler) {
  std::lock_guard<std::mutex> lock(mu_);
  int token = nextToken_++;
  handlers_[token] = {sessionId, std::move(handler)};
  return token;
}

void Connection::Unsubscribe(int token) {
  std::lock_guard<std::mutex> lock(mu_);
  handlers_.erase(token);
}

void Connection::ReadLoop() {
  std::vector<char> buf;
  buf.reserve(1 << 20);
  std::size_t scanned = 0;
  char chunk[1 << 16];
  for (;;) {
    pollfd fds[2] = {{fromBrowser_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int r = poll(fds, 2, 500);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;  // asked to stop
    if (r == 0) {
      // Nothing to read: make sure the browser is still there (its pipe may be
      // held open by a process it started).
      int status = 0;
      std::lock_guard<std::mutex> lock(reapMu_);
      if (!reaped_ && pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        exitedCleanly_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        break;
      }
      continue;
    }
    ssize_t n = read(fromBrowser_, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    if (n == 0) break;  // the browser closed its end: it is gone
    buf.insert(buf.end(), chunk, chunk + n);
    std::size_t start = 0;
    for (;;) {
      void* z = std::memchr(buf.data() + scanned, '\0', buf.size() - scanned);
      if (!z) {
        scanned = buf.size();
        break;
      }
      std::size_t end = static_cast<char*>(z) - buf.data();
      Dispatch(buf.data() + start, end - start);
      start = end + 1;
      scanned = start;
    }
    if (start > 0) {
      buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(start));
      scanned -= start;
    }
  }
  MarkDead();
}

void Connection::Dispatch(const char* data, std::size_t size) {
  Json msg = Json::parse(data, data + size, nullptr, false);
  if (msg.is_discarded() || !msg.is_object()) return;
  auto idIt = msg.find("id");
  if (idIt != msg.end() && idIt->is_number_integer()) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = pending_.find(idIt->get<std::int64_t>());
    if (it == pending_.end()) return;  // the caller gave up waiting
    auto& p = *it->second;
    if (auto e = msg.find("error"); e != msg.end()) {
      p.ok = false;
      p.error = e->value("message", std::string("error"));
      if (e->contains("data") && (*e)["data"].is_string()) p.error += " (" + (*e)["data"].get<std::string>() + ")";
    } else {
      p.ok = true;
      if (auto res = msg.find("result"); res != msg.end()) p.result = std::move(*res);
    }
    p.done = true;
    cv_.notify_all();
    return;
  }
  auto m = msg.find("method");
  if (m == msg.end() || !m->is_string()) return;
  std::string method = m->get<std::string>();
  std::string session = msg.value("sessionId", std::string());
  const Json& params = msg.contains("params") ? msg["params"] : Json::object();
  std::vector<EventHandler> targets;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& [token, h] : handlers_)
      if (h.first == session) targets.push_back(h.second);
  }
  for (auto& h : targets) h(method, params);
}

void Connection::MarkDead() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    alive_ = false;
    for (auto& [id, p] : pending_) {
      if (!p->done) {
        p->done = true;
        p->ok = false;
        p->error = "Chromium has gone away";
      }
    }
    cv_.notify_all();
  }
  // Chromium is gone or going: end what is left of its process group and
  // reap it, so that no zombie stays behind.
  Reap(2000);
}

void Connection::Reap(int graceMs) {
  std::lock_guard<std::mutex> lock(reapMu_);
  if (pid_ <= 0) return;
  if (!reaped_) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    int status = 0;
    bool termSent = false;
    for (;;) {
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno == ECHILD)) {
        reaped_ = true;
        exitedCleanly_ = r == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        if (!termSent) {
          kill(-pid_, SIGTERM);
          kill(pid_, SIGTERM);
          termSent = true;
          deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
        } else {
          kill(-pid_, SIGKILL);
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          reaped_ = true;
          break;
        }
      }
      usleep(10000);
    }
  }
  // Helpers it started (renderers, zygote) leave with it. Done once, right
  // after the reaping, while the group id cannot yet name anyone else.
  if (!groupKilled_) {
    kill(-pid_, SIGKILL);
    groupKilled_ = true;
  }
}

void Connection::Post(const std::string& method, const Json& params, const std::string& sessionId) {
  if (!alive_) return;
  std::int64_t id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    id = nextId_++;
  }
  Json msg = {{"id", id}, {"method", method}, {"params", params.is_null() ? Json::object() : params}};
  if (!sessionId.empty()) msg["sessionId"] = sessionId;
  WriteMessage(msg.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Connection::Shutdown() {
  // Nothing of the browser's is kept (its profile folder goes too), so it is
  // ended at once rather than asked to close.
  {
    std::lock_guard<std::mutex> lock(reapMu_);
    if (pid_ > 0 && !reaped_) {
      kill(-pid_, SIGKILL);
      kill(pid_, SIGKILL);
    }
  }
  Reap(5000);
  if (reader_.joinable()) {
    if (wakeWrite_ >= 0) {
      char b = 1;
      ssize_t w = write(wakeWrite_, &b, 1);
      (void)w;
    }
    if (reader_.get_id() == std::this_thread::get_id()) reader_.detach();
    else reader_.join();
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    alive_ = false;
    cv_.notify_all();
  }
  std::lock_guard<std::mutex> lock(writeMu_);
  for (int* fd : {&toBrowser_, &fromBrowser_, &wakeRead_, &wakeWrite_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (!profileDir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(profileDir_, ec);
    profileDir_.clear();
  }
}

}  // namespace ss::devtools
