// Prints the manual's OPTIONS entries; the build writes them into the man page.

#include <cstdio>

#include "app/command_line.h"

int main() {
  return std::fputs(brovana::manualOptions().c_str(), stdout) < 0 ? 1 : 0;
}
