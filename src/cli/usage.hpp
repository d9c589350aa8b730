#pragma once

#include <cstdio>

namespace quibrel {

// The exit status after the usage text: the tool was called without an input.
inline constexpr int usage_status = 2;

void show_banner(std::FILE* out = stdout);
// Prints the banner and the usage text; returns the character count that
// printing the last line reported.
int show_usage(std::FILE* out = stdout);

}  // namespace quibrel
