#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace velmora {

// velmora-replay: feeds a recorded host stream to a fresh terminal and prints the screen.
// Returns the exit status: 0, or 2 after a message on `err` for a bad argument or input.
int RunReplay(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace velmora
