#include "platform/sound/sound.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace ss {
namespace {

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string FindInPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && IsExecutable(candidate)) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

const char* SoundPlayer() {
  thread_local std::string player;
  const char* chosen = std::getenv("SCROLLSNAP_SOUND_PLAYER");
  if (chosen && *chosen) {
    player = chosen[0] == '/' ? chosen : FindInPath(chosen);
    return player.c_str();
  }
  for (const char* name : {"paplay", "pw-play", "aplay"}) {
    player = FindInPath(name);
    if (!player.empty()) return player.c_str();
  }
  player.clear();
  return player.c_str();
}

BOOL PlaySoundA(const char* sound, void*, DWORD flags) {
  if (!sound || !(flags & SND_FILENAME)) return 0;
  struct stat st;
  if (stat(sound, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  std::string player = SoundPlayer();
  if (player.empty()) return 0;
  std::string file = sound;
  char* argv[] = {player.data(), file.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, player.c_str(), nullptr, nullptr, argv, environ) != 0) return 0;
  if (flags & SND_ASYNC) {
    // Reap the player when it ends, without holding the caller.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return 1;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace ss
