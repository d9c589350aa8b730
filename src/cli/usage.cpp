#include "cli/usage.hpp"

#include "extract/position_file.hpp"

namespace quibrel {
namespace {

constexpr char usage_lines[11][80] = {
    "quibrel attempts to scan a file for PSS files and extracts\n",
    "them all. Also makes a file containing the location of where\n",
    "the extracted files came from.\n\n",
    "Usage:\n",
    "   quibrel infile [startbyte] [endbyte]\n\n",
    "infile = filename we are going to rip stuff out of\n",
    "[startbyte] = the byte offset to start on [optional]\n",
    "[endbyte] = the end of the range [optional]\n",
    "If startbyte is not given it will assume the beginning\n",
    "of the file. If endbyte is not given it will assume the\n",
    "till the end of file.\n",
};

}  // namespace

void show_banner(std::FILE* out) {
    std::fprintf(out, "Quibrel v%s  - by drosk\n", version_text);
    std::fprintf(out, "============\n");
}

int show_usage(std::FILE* out) {
    show_banner(out);
    int printed = 0;
    for (const char* line : usage_lines) printed = std::fprintf(out, "%s", line);
    return printed;
}

}  // namespace quibrel
