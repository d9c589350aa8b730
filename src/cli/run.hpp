#pragma once

#include <cstdio>
#include <span>

namespace quibrel {

// Exit statuses of a run.
inline constexpr int status_ok = 0;
inline constexpr int status_failed = 1;
inline constexpr int status_position_file_failed = -1;

// One whole run. `args` are the arguments after the program's name; messages
// go to `out`. Returns the exit status.
int run(std::span<const char* const> args, std::FILE* out = stdout);

}  // namespace quibrel
