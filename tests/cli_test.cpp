// End to end: the built tool, run in temporary directories.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "tool_runner.hpp"

namespace quibrel::testing {
namespace {

const std::string& S = pack_start;
const std::string& E = program_end;

// Lines joined with the tool's line end.
std::string lines(std::initializer_list<std::string> ls) {
    std::string out;
    for (const auto& l : ls) out += l + tool_line_end();
    return out;
}

std::string header(const std::string& input_name) {
    return lines({"# quibrel v0.5a position file", "# extracted from : " + input_name,
                  "# name        start position      end position      size"});
}

class Cli : public ::testing::Test {
protected:
    temp_dir dir;
    fs::path at(const std::string& name) const { return dir / name; }
};

// Streams at 512 and 832 whose copies stop at 800 and 964.
std::string two_stream_image() {
    std::string stream1 = S + filler(280, '\x01') + E;  // 512..800
    std::string stream2 = S + filler(124, '\x02') + E;  // 832..964
    return filler(512) + stream1 + filler(32) + stream2 + filler(60);
}

TEST_F(Cli, NoArgumentPrintsBannerAndUsageAndTouchesNothing) {
    tool_result r = run_tool(dir.path(), {});
    EXPECT_EQ(r.status, 2);
    // clang-format off
    EXPECT_EQ(r.output, lines({"Quibrel v0.5a  - by drosk",
                               "============",
                               "quibrel attempts to scan a file for PSS files and extracts",
                               "them all. Also makes a file containing the location of where",
                               "the extracted files came from.",
                               "",
                               "Usage:",
                               "   quibrel infile [startbyte] [endbyte]",
                               "",
                               "infile = filename we are going to rip stuff out of",
                               "[startbyte] = the byte offset to start on [optional]",
                               "[endbyte] = the end of the range [optional]",
                               "If startbyte is not given it will assume the beginning",
                               "of the file. If endbyte is not given it will assume the",
                               "till the end of file."}));
    // clang-format on
    EXPECT_TRUE(files_in(dir.path()).empty());
}

TEST_F(Cli, FatalErrorsPrintOneLineAndExitWithOne) {
    fs::create_directory(at("adir"));
    write_file(at("img"), two_stream_image());
    fs::create_directory(at("img.pos"));
    const struct {
        std::string input;
        std::string message;
    } cases[] = {
        {"missing.bin", "Error: Could not open file missing.bin"},
        {"-h", "Error: Could not open file -h"},
        {"adir", "Error: Could not open file adir"},
        {"", "Error: Could not open file "},
        {"img", "Error couldn't create data file"},  // img.pos is a directory
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        tool_result r = run_tool(dir.path(), {c.input});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, lines({c.message}));
    }
    EXPECT_EQ(files_in(dir.path()), (std::vector<std::string>{"adir", "img", "img.pos"}));
    EXPECT_TRUE(files_in(at("img.pos")).empty());
}

TEST_F(Cli, ExtractsEveryStreamAndRecordsWhereItCameFrom) {
    const std::string image = two_stream_image();
    write_file(at("image.bin"), image);
    tool_result r = run_tool(dir.path(), {"image.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(
        read_file(at("image.bin.pos")),
        header("image.bin") + lines({"00000000.pss 512 800 288", "00000001.pss 832 964 132"}));
    EXPECT_EQ(read_file(at("00000000.pss")), image.substr(512, 288));
    EXPECT_EQ(read_file(at("00000001.pss")), image.substr(832, 132));
    EXPECT_EQ(read_file(at("image.bin")), image);
}

TEST_F(Cli, RerunReplacesPositionFileAndExtractedFiles) {
    write_file(at("image.bin"), two_stream_image());
    write_file(at("image.bin.pos"), filler(5000, 'x'));
    write_file(at("00000000.pss"), filler(5000, 'y'));
    write_file(at("00000007.pss"), "older run");
    ASSERT_EQ(run_tool(dir.path(), {"image.bin", "0", "600"}).status, 0);
    EXPECT_EQ(read_file(at("image.bin.pos")),
              header("image.bin") + lines({"00000000.pss 512 800 288"}));
    EXPECT_EQ(read_file(at("00000000.pss")).size(), 288u);
    EXPECT_EQ(read_file(at("00000007.pss")), "older run");
}

TEST_F(Cli, ArgumentsChooseTheRange) {
    write_file(at("img"), two_stream_image());
    const std::string first = "00000000.pss 512 800 288";
    const std::string second_only = "00000000.pss 832 964 132";
    const std::string second = "00000001.pss 832 964 132";
    const struct {
        std::vector<std::string> args;
        std::string entries;
    } cases[] = {
        {{"img"}, lines({first, second})},
        {{"img", "600"}, lines({second_only})},
        {{"img", "0", "512"}, lines({first})},
        {{"img", "0", "511"}, ""},
        {{"img", "0", "512", "x"}, lines({first, second})},  // endbyte only with three
        {{"img", "abc"}, lines({first, second})},
        {{"img", "8", "4"}, ""},
        {{"img", "2000"}, ""},
        {{"img", "-1", "-1"}, ""},
        {{"img", "0", "-1"}, lines({first, second})},
        {{"img", "2", "-1"}, ""},  // off the grid of both streams
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        tool_result r = run_tool(dir.path(), c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(read_file(at("img.pos")), header("img") + c.entries);
    }
}

TEST_F(Cli, PositionFileLiesBesideAnInputWithADirectoryPart) {
    fs::create_directories(at("dumps"));
    fs::create_directories(at("work"));
    const std::string image = two_stream_image();
    write_file(at("dumps/image.bin"), image);
    ASSERT_EQ(run_tool(at("work"), {"../dumps/image.bin"}).status, 0);
    EXPECT_EQ(read_file(at("dumps/image.bin.pos")),
              header("../dumps/image.bin") +
                  lines({"00000000.pss 512 800 288", "00000001.pss 832 964 132"}));
    EXPECT_EQ(files_in(at("work")), (std::vector<std::string>{"00000000.pss", "00000001.pss"}));
    EXPECT_EQ(files_in(at("dumps")), (std::vector<std::string>{"image.bin", "image.bin.pos"}));
}

TEST_F(Cli, ExtractedNameThatIsADirectoryIsReportedOnceAndOfferedAgain) {
    // One stream of three packs, then a second stream.
    const std::string stream1 = S + filler(12) + S + filler(12) + S + E;
    const std::string image = stream1 + filler(8) + S + E;
    write_file(at("img"), image);
    fs::create_directory(at("00000000.pss"));
    tool_result r = run_tool(dir.path(), {"img"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, lines({"Error: Could not create file 00000000.pss"}));
    EXPECT_EQ(read_file(at("img.pos")),
              header("img") + lines({"00000000.pss 0 4 4", "00000000.pss 16 20 4",
                                     "00000000.pss 32 36 4", "00000000.pss 48 52 4"}));
}

class SameFileCli : public Cli, public ::testing::WithParamInterface<std::string> {};

// The input is never emptied, even when it is one of the extracted names.
TEST_P(SameFileCli, InputAmongExtractedNamesIsSkippedAndKept) {
    const std::string image = two_stream_image();
    const std::string how = GetParam();
    std::string input = "00000000.pss";
    if (how == "direct") {
        write_file(at("00000000.pss"), image);
    } else {
        fs::create_directory(at("store"));
        write_file(at("store/image.bin"), image);
        if (how == "symlink") fs::create_symlink("store/image.bin", at("00000000.pss"));
        if (how == "hard link") fs::create_hard_link(at("store/image.bin"), at("00000000.pss"));
        if (how == "symlink as input") {
            fs::create_symlink("store/image.bin", at("link.bin"));
            fs::create_hard_link(at("store/image.bin"), at("00000001.pss"));
            input = "link.bin";
        }
    }
    tool_result r = run_tool(dir.path(), {input});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    std::vector<std::string> names = how == "symlink as input"
                                         ? std::vector<std::string>{"00000000.pss", "00000002.pss"}
                                         : std::vector<std::string>{"00000001.pss", "00000002.pss"};
    EXPECT_EQ(read_file(at(input + ".pos")),
              header(input) + lines({names[0] + " 512 800 288", names[1] + " 832 964 132"}));
    EXPECT_EQ(read_file(at(input)), image);
    EXPECT_EQ(read_file(at(names[0])), image.substr(512, 288));
    EXPECT_EQ(read_file(at(names[1])), image.substr(832, 132));
}

INSTANTIATE_TEST_SUITE_P(Links, SameFileCli,
                         ::testing::Values("direct", "symlink", "hard link", "symlink as input"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (auto& ch : n)
                                 if (ch == ' ') ch = '_';
                             return n;
                         });

TEST_F(Cli, PositionFileThatIsTheInputIsNeverCreated) {
    const std::string image = two_stream_image();
    write_file(at("img"), image);
    fs::create_symlink("img", at("img.pos"));
    tool_result r = run_tool(dir.path(), {"img"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, lines({"Error couldn't create data file"}));
    EXPECT_EQ(read_file(at("img")), image);
}

TEST_F(Cli, FailedWriteOfAnExtractedFileRemovesItAndFails) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
    const std::string image = two_stream_image();
    write_file(at("img"), image);
    fs::create_symlink("/dev/full", at("00000001.pss"));
    tool_result r = run_tool(dir.path(), {"img"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, lines({"Error: Could not write file 00000001.pss"}));
    EXPECT_EQ(read_file(at("img.pos")), header("img") + lines({"00000000.pss 512 800 288"}));
    // Wine can't remove a link to a device; on a real disk the file goes.
    if (!tool_runs_under_runner()) {
        EXPECT_EQ(files_in(dir.path()),
                  (std::vector<std::string>{"00000000.pss", "img", "img.pos"}));
    }
    EXPECT_EQ(read_file(at("img")), image);
}

TEST_F(Cli, FailedWriteOfThePositionFileIsNotSuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
    const std::string image = two_stream_image();
    write_file(at("img"), image);
    fs::create_symlink("/dev/full", at("img.pos"));
    tool_result r = run_tool(dir.path(), {"img"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output, lines({"Error: Could not write file img.pos"}));
    // The streams themselves are still extracted.
    EXPECT_EQ(read_file(at("00000000.pss")), image.substr(512, 288));
    EXPECT_EQ(read_file(at("00000001.pss")), image.substr(832, 132));
}

TEST_F(Cli, ReadsAnInputFromAPipe) {
    if (tool_runs_under_runner()) GTEST_SKIP() << "a POSIX pipe";
    const std::string image = two_stream_image();
    ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0644), 0);
    std::thread writer([&] { write_file(at("pipe"), image); });
    tool_result r = run_tool(dir.path(), {"pipe"}, 30);
    writer.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(at("pipe.pos")),
              header("pipe") + lines({"00000000.pss 512 800 288", "00000001.pss 832 964 132"}));
}

TEST_F(Cli, AnExtractedNameThatIsAPipeWithoutReaderDoesNotHang) {
    if (tool_runs_under_runner()) GTEST_SKIP() << "a POSIX pipe";
    write_file(at("img"), two_stream_image());
    ASSERT_EQ(::mkfifo(at("00000000.pss").c_str(), 0644), 0);
    tool_result r = run_tool(dir.path(), {"img"}, 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, lines({"Error: Could not create file 00000000.pss"}));
    EXPECT_EQ(read_file(at("img.pos")),
              header("img") + lines({"00000000.pss 512 516 4", "00000000.pss 832 836 4"}));
}

// Interrupted in the middle of a stream, the tool leaves no half-written file.
TEST_F(Cli, InterruptRemovesTheFileBeingWritten) {
    if (tool_runs_under_runner()) GTEST_SKIP() << "POSIX signals";
    ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0644), 0);
    running_tool tool = start_tool(dir.path(), {"pipe"}, 30);
    int fifo = ::open(at("pipe").c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    const std::string start = filler(64) + S + filler(4096, '\x01');
    ASSERT_EQ(::write(fifo, start.data(), start.size()), static_cast<ssize_t>(start.size()));
    // The stream's bytes so far reach the file; the tool then waits for more.
    for (int i = 0;
         i < 500 && (!fs::exists(at("00000000.pss")) || fs::file_size(at("00000000.pss")) < 4096);
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(at("00000000.pss")));
    ::kill(tool.pid, SIGINT);
    EXPECT_EQ(wait_tool_signal(tool), SIGINT);
    ::close(fifo);
    EXPECT_FALSE(fs::exists(at("00000000.pss")));
}

TEST_F(Cli, StreamCutShortByTheEndOfInput) {
    const std::string image = filler(16) + S + filler(10) + E.substr(0, 3);
    write_file(at("img"), image);
    ASSERT_EQ(run_tool(dir.path(), {"img"}).status, 0);
    EXPECT_EQ(read_file(at("img.pos")), header("img") + lines({"00000000.pss 16 33 17"}));
    EXPECT_EQ(read_file(at("00000000.pss")), image.substr(16, 16));  // whole groups only
}

// A sparse image past 4 GiB, with streams beyond 2 GiB and beyond 4 GiB.
TEST(CliLarge, StreamsPastFourGiBKeepTheirTrueOffsets) {
    const fs::path shm = "/dev/shm";
    temp_dir dir(fs::is_directory(shm) ? shm : fs::temp_directory_path());
    const std::uint64_t past_2g = (std::uint64_t{1} << 31) + 2048;
    const std::uint64_t past_4g = (std::uint64_t{1} << 32) + 4096;
    const std::uint64_t length = past_4g + (std::uint64_t{1} << 20);
    const std::string stream = S + filler(2040, '\x03') + E;
    {
        int fd = ::open((dir.path() / "big.img").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
        for (std::uint64_t at : {past_2g, past_4g}) {
            ASSERT_EQ(::pwrite(fd, stream.data(), stream.size(), static_cast<off_t>(at)),
                      static_cast<ssize_t>(stream.size()));
        }
        ::close(fd);
    }
    const std::string first = "00000000.pss 2147485696 2147487744 2048";
    const struct {
        std::vector<std::string> args;
        std::string entries;
    } cases[] = {
        {{"big.img"}, lines({first, "00000001.pss 4294971392 4294973440 2048"})},
        {{"big.img", "4294967296"}, lines({"00000000.pss 4294971392 4294973440 2048"})},
        {{"big.img", "2147485696", "2147485696"}, lines({first})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        tool_result r = run_tool(dir.path(), c.args, 300);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(read_file(dir.path() / "big.img.pos"), header("big.img") + c.entries);
        EXPECT_EQ(read_file(dir.path() / "00000000.pss").size(), 2048u);
    }
}

}  // namespace
}  // namespace quibrel::testing

namespace quibrel::testing {
namespace {

TEST(CliSample, BundledSampleGivesItsTwoProgramStreams) {
    temp_dir dir;
    const std::string image = read_file(QUIBREL_SAMPLE);
    write_file(dir / "disc.img", image);
    tool_result r = run_tool(dir.path(), {"disc.img"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "disc.img.pos"),
              header("disc.img") +
                  lines({"00000000.pss 8192 24580 16388", "00000001.pss 30720 43012 12292"}));
    EXPECT_EQ(read_file(dir / "00000000.pss"), image.substr(8192, 16388));
    EXPECT_EQ(read_file(dir / "00000001.pss"), image.substr(30720, 12292));
}

}  // namespace
}  // namespace quibrel::testing
