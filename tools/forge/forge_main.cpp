// vellmora-forge: writes a forged Engine or Pie64 instance package.
#include <cstdio>

#include "forge/forge.h"

int main(int, char**) {
  std::fprintf(stderr, "vellmora-forge: not available in this build yet\n");
  return 2;
}
