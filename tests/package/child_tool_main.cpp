// A small console program that the child-process tests start in place of a system tool. Its
// first argument says what to do:
//   exit N            exits with code N
//   sleep MS          sleeps, then exits 0
//   print TEXT N      writes TEXT to standard output and to standard error, exits with N
//   progress MS P...  writes each percentage ("  P%") to standard output, MS apart, exits 0; the
//                     first argument that is not a number ends the list
// It uses only the C++ library, so that one source builds for both platforms.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 3) return 87;
  std::string mode = argv[1];
  if (mode == "exit") return std::atoi(argv[2]);
  if (mode == "sleep") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return 0;
  }
  if (mode == "print" && argc == 4) {
    std::fputs(argv[2], stdout);
    std::fflush(stdout);
    std::fputs(argv[2], stderr);
    std::fflush(stderr);
    return std::atoi(argv[3]);
  }
  if (mode == "progress") {
    int pause = std::atoi(argv[2]);
    for (int i = 3; i < argc && argv[i][0] >= '0' && argv[i][0] <= '9'; ++i) {
      std::printf("  %s%%\b\b\b\b", argv[i]);
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    return 0;
  }
  return 87;
}
