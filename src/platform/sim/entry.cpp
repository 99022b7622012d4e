#include <string>

#include "app/entry.h"
#include "platform/sim/text.h"

// The Windows GUI entry receives the raw command line after the program name. A script that
// passes that line as one argument gets it unchanged; separate arguments are joined with one
// blank, which is what the line held unless it had quoting or runs of blanks.
int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return vellmora::RunInstaller(sim::internal::FromUtf8(line));
}
