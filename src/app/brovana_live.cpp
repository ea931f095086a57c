#include "app/program.h"

int main(int argc, char** argv) {
  return brovana::runCommandLine(argc, argv, nullptr);
}
