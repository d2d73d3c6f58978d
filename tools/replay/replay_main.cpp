#include <cstdio>
#include <string>
#include <vector>

#include "replay.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return velmora::RunReplay(args, stdout, stderr);
}
