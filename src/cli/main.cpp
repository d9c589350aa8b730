#include <cstdio>
#include <span>

#include "cli/run.hpp"

int main(int argc, char** argv) {
    std::span<const char* const> args(argv, static_cast<std::size_t>(argc));
    int status = quibrel::run(args.empty() ? args : args.subspan(1));
    std::fflush(stdout);
    return status;
}
