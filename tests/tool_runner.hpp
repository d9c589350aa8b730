// Runs the built tool as a separate process in a directory of the test's
// choosing and captures its standard output and exit status.
//
// It runs the native tool just built, or, when QUIBREL_WINDOWS_EXE names a
// quibrel.exe, that one under wine, whose
// text output then ends its lines in CR LF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quibrel::testing {

namespace fs = std::filesystem;

struct tool_result {
    int status = -1;     // exit status, 0 to 255; -1 when the tool did not exit
    std::string output;  // everything on standard output
};

// Runs the tool with `args` in `cwd`; the tool is killed after `timeout_s`.
// A `prefix` command (such as setpriv with its options) starts the tool.
tool_result run_tool(const fs::path& cwd, const std::vector<std::string>& args, int timeout_s = 120,
                     const std::vector<std::string>& prefix = {});

// The same in two steps, for a test that acts while the tool runs.
struct running_tool {
    int pid = -1;
    fs::path output;
};
running_tool start_tool(const fs::path& cwd, const std::vector<std::string>& args,
                        int timeout_s = 120, const std::vector<std::string>& prefix = {});
tool_result wait_tool(const running_tool& tool);
// The signal that ended the tool, or 0 when it exited.
int wait_tool_signal(const running_tool& tool);

// True when the tool under test is the Windows one, run under wine.
bool tool_runs_under_runner();

// The line end of the tool's text output.
std::string tool_line_end();

// A fresh directory, removed with its contents at the end of the test.
class temp_dir {
public:
    explicit temp_dir(const fs::path& parent = fs::temp_directory_path());
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    ~temp_dir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// The two codes as bytes, and filler, for building images.
inline const std::string pack_start("\x00\x00\x01\xBA", 4);
inline const std::string program_end("\x00\x00\x01\xB9", 4);
inline std::string filler(std::size_t n, char c = '\x5A') { return std::string(n, c); }

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, const std::string& content);
std::vector<std::string> files_in(const fs::path& dir);

}  // namespace quibrel::testing
