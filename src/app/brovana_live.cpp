#include "app/program.h"

int main(int argc, char** argv) {
  return brovana::runProgram(argc, argv);
}
