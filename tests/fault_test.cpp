// Real faults, end to end on the built tool: full disks, unwritable files,
// kernel read errors, an unreadable input, and the input among the extracted
// names. Every row checks the status, the message, that the input is
// unchanged, that no extracted file claims more than it holds, and that the
// tool ends (it runs under a timeout).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool_runner.hpp"

namespace quibrel::testing {
namespace {

const std::string& S = pack_start;
const std::string& E = program_end;

std::uint64_t fnv1a(const std::string& s) {
    std::uint64_t h = 14695981039346656037u;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211u;
    return h;
}

struct entry {
    std::string name;
    std::uint64_t start, end, size;
};

std::vector<entry> entries_of(const std::string& position_file) {
    std::vector<entry> out;
    std::istringstream in(position_file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        entry e;
        fields >> e.name >> e.start >> e.end >> e.size;
        out.push_back(e);
    }
    return out;
}

// Every extracted file left in `cwd` is listed, and holds exactly the whole
// groups its last entry line claims, copied from the input.
void expect_files_hold_what_they_claim(const fs::path& cwd, const fs::path& input,
                                       const std::string& image,
                                       const std::vector<entry>& entries) {
    for (const auto& name : files_in(cwd)) {
        if (fs::path(name).extension() != ".pss" || fs::is_symlink(cwd / name)) continue;
        std::error_code ec;
        if (fs::equivalent(cwd / name, input, ec)) continue;
        const entry* last = nullptr;
        for (const auto& e : entries)
            if (e.name == name) last = &e;
        ASSERT_NE(last, nullptr) << name << " is on disk but not in the position file";
        const std::string content = read_file(cwd / name);
        EXPECT_EQ(content.size(), last->size & ~std::uint64_t{3}) << name;
        EXPECT_TRUE(content == image.substr(last->start, content.size()))
            << name << " differs from the input";
    }
}

// A directory of the test, made writable for the unprivileged rows.
class scratch {
public:
    scratch() { fs::permissions(dir.path(), fs::perms::all); }
    temp_dir dir;
    std::vector<std::function<void()>> cleanups;
    ~scratch() {
        for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) (*it)();
    }
};

bool mount_tmpfs(scratch& s, const fs::path& where, const char* size, std::string& why) {
    fs::create_directories(where);
    std::string options = std::string("size=") + size;
    if (::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = std::string("mounting a tmpfs is not allowed here: ") + std::strerror(errno);
        return false;
    }
    s.cleanups.push_back([where] { ::umount2(where.c_str(), MNT_DETACH); });
    return true;
}

void fill_up(const fs::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
}

// Mounts the EIO file system over `mnt`, passing the directory `backing`
// through, with reads of mnt/image failing from `error_at` on.
bool mount_eio(scratch& s, const fs::path& backing, std::uint64_t error_at, const fs::path& mnt,
               std::string& why, bool fail_whole = false) {
#ifndef QUIBREL_EIO_FS
    (void)s, (void)backing, (void)error_at, (void)mnt, (void)fail_whole;
    why = "the EIO file system was not built (libfuse3-dev missing)";
    return false;
#else
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why = "no usable /dev/fuse on this machine";
        return false;
    }
    fs::create_directories(mnt);
    pid_t pid = fork();
    if (pid == 0) {
        std::string offset = std::to_string(error_at);
        ::execl(QUIBREL_EIO_FS, QUIBREL_EIO_FS, backing.c_str(), offset.c_str(), mnt.c_str(),
                fail_whole ? "whole" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
        _exit(127);
    }
    s.cleanups.push_back([mnt, pid] {
        ::umount2(mnt.c_str(), MNT_DETACH);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    });
    for (int i = 0; i < 100; ++i) {
        if (fs::exists(mnt / "image")) return true;
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = "the FUSE mount did not come up (mounting FUSE is not allowed here?)";
    return false;
#endif
}

struct fault_case {
    std::string name;
    // Builds the fixture; returns false with a reason to skip.
    std::function<bool(scratch&, std::string& why)> setup;
    std::string input;                     // as given on the command line, from cwd
    std::string cwd = "work";              // relative to the scratch directory
    std::vector<std::string> prefix = {};  // command that starts the tool
    int status;
    std::string message;
    std::string image;  // the input's content
    // Where the position file can't be written, the entries it should hold.
    std::vector<entry> unwritten_entries = {};
};

void PrintTo(const fault_case& c, std::ostream* os) { *os << c.name; }

class Fault : public ::testing::TestWithParam<fault_case> {};

TEST_P(Fault, EndsClearlyAndLosesNothing) {
    const fault_case& c = GetParam();
    if (geteuid() != 0) GTEST_SKIP() << "the fault rows need root (mounts, setpriv)";
    scratch s;
    fs::create_directories(s.dir / "work");
    std::string why;
    if (!c.setup(s, why)) GTEST_SKIP() << why;
    const fs::path cwd = s.dir / c.cwd;
    const fs::path input = cwd / c.input;
    std::optional<std::uint64_t> before;
    if (::access(input.c_str(), R_OK) == 0) before = fnv1a(read_file(input));

    tool_result r = run_tool(cwd, {c.input}, 60, c.prefix);

    EXPECT_EQ(r.status, c.status) << "(-1: the tool did not end by itself)";
    EXPECT_EQ(r.output, c.message);
    if (before) {
        EXPECT_EQ(fnv1a(read_file(input)), *before) << "the input changed";
    }
    const fs::path pos = cwd / (c.input + ".pos");
    std::vector<entry> entries;
    if (fs::is_regular_file(pos)) entries = entries_of(read_file(pos));
    if (!c.unwritten_entries.empty()) {
        EXPECT_TRUE(entries.empty());
        entries = c.unwritten_entries;
    }
    expect_files_hold_what_they_claim(cwd, input, c.image, entries);
}

// 8 KiB of filler, a stream from 8192 to 73728, filler, a second stream at
// 98304 of 8 KiB, and filler.
std::string eio_image() {
    return filler(8192) + S + filler(65528 - 8, '\x01') + E + filler(24576) + S +
           filler(8184, '\x02') + E + filler(4096);
}

// Puts the EIO image in a backing directory and mounts it over mnt/.
bool mount_eio_image(scratch& s, std::uint64_t error_at, std::string& why,
                     bool fail_whole = false) {
    fs::create_directory(s.dir / "backing");
    write_file(s.dir / "backing/image", eio_image());
    return mount_eio(s, s.dir / "backing", error_at, s.dir / "mnt", why, fail_whole);
}

std::string big_stream_image() { return filler(2048) + S + filler((3 << 20) - 8, '\x03') + E; }

std::string two_streams() { return filler(512) + S + filler(280) + E + filler(32) + S + E; }

// clang-format off
std::vector<fault_case> output_faults() {
    std::vector<fault_case> rows;
    rows.push_back({"DiskFullWhileExtracting",
                    [](scratch& s, std::string& why) {
                        write_file(s.dir / "img", big_stream_image());
                        return mount_tmpfs(s, s.dir / "work", "1m", why);
                    },
                    "../img", "work", {}, 1, "Error: Could not write file 00000000.pss\n",
                    big_stream_image()});
    rows.push_back({"ExtractedFileIsALinkToDevFull",
                    [](scratch& s, std::string& why) {
                        if (!fs::exists("/dev/full")) return why = "no /dev/full", false;
                        write_file(s.dir / "work/img", two_streams());
                        fs::create_symlink("/dev/full", s.dir / "work/00000000.pss");
                        return true;
                    },
                    "img", "work", {}, 1, "Error: Could not write file 00000000.pss\n",
                    two_streams()});
    rows.push_back({"PositionFileOnAFullDisk",
                    [](scratch& s, std::string& why) {
                        if (!mount_tmpfs(s, s.dir / "full", "1m", why)) return false;
                        write_file(s.dir / "full/img", two_streams());
                        fill_up(s.dir / "full/filler");
                        return true;
                    },
                    "../full/img", "work", {}, 255, "Error: Could not write file ../full/img.pos\n",
                    two_streams(),
                    {{"00000000.pss", 512, 800, 288}, {"00000001.pss", 832, 840, 8}}});
    rows.push_back({"PositionFileIsADirectory",
                    [](scratch& s, std::string&) {
                        write_file(s.dir / "work/img", two_streams());
                        fs::create_directory(s.dir / "work/img.pos");
                        return true;
                    },
                    "img", "work", {}, 1, "Error couldn't create data file\n", two_streams()});
    return rows;
}

std::vector<fault_case> input_faults() {
    std::vector<fault_case> rows;
    rows.push_back({"KernelReadErrorInsideAStream",
                    [](scratch& s, std::string& why) {
                        return mount_eio_image(s, 20000, why);
                    },
                    "../mnt/image", "work", {}, 1, "Error: Could not read file ../mnt/image\n",
                    eio_image()});
    rows.push_back({"KernelReadErrorBetweenStreams",
                    [](scratch& s, std::string& why) {
                        return mount_eio_image(s, 90000, why);
                    },
                    "../mnt/image", "work", {}, 1, "Error: Could not read file ../mnt/image\n",
                    eio_image()});
    rows.push_back({"UnreadableInput",
                    [](scratch& s, std::string& why) {
                        if (::access("/usr/bin/setpriv", X_OK) != 0) return why = "no setpriv", false;
                        fs::permissions(s.dir / "work", fs::perms::all);
                        write_file(s.dir / "work/img", two_streams());
                        fs::permissions(s.dir / "work/img", fs::perms::none);
                        return true;
                    },
                    "img", "work",
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, 1,
                    "Error: Could not open file img\n", two_streams()});
    rows.push_back({"InputIsTheFirstExtractedName",
                    [](scratch& s, std::string&) {
                        write_file(s.dir / "work/00000000.pss", two_streams());
                        return true;
                    },
                    "00000000.pss", "work", {}, 0, "", two_streams()});
    rows.push_back({"InputLinkedAsTheFirstExtractedName",
                    [](scratch& s, std::string&) {
                        write_file(s.dir / "img", two_streams());
                        fs::create_symlink("../img", s.dir / "work/00000000.pss");
                        return true;
                    },
                    "../img", "work", {}, 0, "", two_streams()});
    return rows;
}
// clang-format on

auto row_name = [](const auto& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Output, Fault, ::testing::ValuesIn(output_faults()), row_name);
INSTANTIATE_TEST_SUITE_P(Input, Fault, ::testing::ValuesIn(input_faults()), row_name);

// What a read error leaves behind, in detail: the cut stream keeps the whole
// groups that arrived, and its entry line ends where the input stopped. A
// device that fails a large read as a whole still gives every byte before
// the damage.
class FaultDetail : public ::testing::TestWithParam<bool> {};

TEST_P(FaultDetail, ReadErrorKeepsTheWholeGroupsReadAndRecordsTheCut) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount";
    scratch s;
    fs::create_directories(s.dir / "work");
    const std::string image = eio_image();
    std::string why;
    if (!mount_eio_image(s, 20002, why, GetParam())) {
        GTEST_SKIP() << why;
    }
    tool_result r = run_tool(s.dir / "work", {"../mnt/image"}, 60);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: Could not read file ../mnt/image\n");
    EXPECT_EQ(read_file(s.dir / "mnt/image.pos"),
              "# quibrel v0.5a position file\n# extracted from : ../mnt/image\n"
              "# name        start position      end position      size\n"
              "00000000.pss 8192 20002 11810\n");
    const std::string extracted = read_file(s.dir / "work/00000000.pss");
    EXPECT_EQ(extracted.size(), 11808u);
    EXPECT_TRUE(extracted == image.substr(8192, 11808)) << "the copy differs from the input";
}

INSTANTIATE_TEST_SUITE_P(Reads, FaultDetail, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? "LargeReadsFailWhole" : "ReadsStopShort";
});

}  // namespace
}  // namespace quibrel::testing
