// A library whose DllMain refuses to load when SCROLLSNAP_TEST_REFUSE is set,
// and counts its attach and detach calls in the environment.
#include <cstdlib>
#include <cstdint>
#include <string>

extern "C" int DllMain(std::uint32_t, std::uint32_t reason, void*) {
  std::string key = reason == 1 ? "SCROLLSNAP_TEST_ATTACHED" : "SCROLLSNAP_TEST_DETACHED";
  const char* old = std::getenv(key.c_str());
  setenv(key.c_str(), std::to_string((old ? std::atoi(old) : 0) + 1).c_str(), 1);
  return reason == 1 && std::getenv("SCROLLSNAP_TEST_REFUSE") ? 0 : 1;
}

extern "C" int Answer() { return 42; }
