#include <cstdio>
int main(int argc, char** argv) {
  std::fprintf(stderr, "scrollsnap: no command yet\n");
  return 64;
}
