// Stands in for the browser library that answers whether the process runs in
// protected mode: it always says yes.
#include <cstdint>

extern "C" std::int32_t IEIsProtectedModeProcess(int* isProtected) {
  *isProtected = 1;
  return 0;
}
