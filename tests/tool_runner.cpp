#include "tool_runner.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QUIBREL_WINE
#define QUIBREL_WINE "wine"
#endif

namespace quibrel::testing {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

}  // namespace

bool tool_runs_under_runner() { return !env_or("QUIBREL_WINDOWS_EXE", "").empty(); }

std::string tool_line_end() { return tool_runs_under_runner() ? "\r\n" : "\n"; }

running_tool start_tool(const fs::path& cwd, const std::vector<std::string>& args, int timeout_s,
                        const std::vector<std::string>& prefix) {
    std::vector<std::string> argv(prefix);
    const std::string windows_exe = env_or("QUIBREL_WINDOWS_EXE", "");
    if (windows_exe.empty()) {
        argv.push_back(QUIBREL_DEFAULT_BINARY);
    } else {
        argv.push_back(QUIBREL_WINE);
        argv.push_back(windows_exe);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);

    running_tool tool;
    tool.output = cwd / ".." / (cwd.filename().string() + ".stdout");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = ::open(tool.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::chdir(cwd.c_str()) != 0) _exit(126);
        ::dup2(out, 1);
        ::close(out);
        ::alarm(static_cast<unsigned>(timeout_s));
        ::execvp(raw[0], raw.data());
        _exit(127);
    }
    tool.pid = pid;
    return tool;
}

namespace {

int wait_for(const running_tool& tool) {
    int wstatus = 0;
    while (::waitpid(tool.pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    return wstatus;
}

}  // namespace

tool_result wait_tool(const running_tool& tool) {
    int wstatus = wait_for(tool);
    tool_result r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.output = read_file(tool.output);
    fs::remove(tool.output);
    return r;
}

int wait_tool_signal(const running_tool& tool) {
    int wstatus = wait_for(tool);
    fs::remove(tool.output);
    return WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
}

tool_result run_tool(const fs::path& cwd, const std::vector<std::string>& args, int timeout_s,
                     const std::vector<std::string>& prefix) {
    return wait_tool(start_tool(cwd, args, timeout_s, prefix));
}

temp_dir::temp_dir(const fs::path& parent) {
    std::string pattern = (parent / "quibrel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("could not write " + p.string());
}

std::vector<std::string> files_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace quibrel::testing
