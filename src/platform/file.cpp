#include "platform/file.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quibrel::platform {
namespace {

#ifdef _WIN32
using stat_type = struct _stat64;
using io_size = unsigned int;
constexpr int read_flags = _O_RDONLY | _O_BINARY | _O_SEQUENTIAL;  // read front to back
constexpr int write_flags = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY;
constexpr int create_mode = _S_IREAD | _S_IWRITE;
constexpr std::uint64_t max_io = 1u << 30;
int sys_open(const char* name, int flags) { return _open(name, flags, create_mode); }
int sys_create(const char* name) { return _open(name, write_flags, create_mode); }
long long sys_read(int fd, void* p, std::size_t n) { return _read(fd, p, static_cast<io_size>(n)); }
long long sys_write(int fd, const void* p, std::size_t n) {
    return _write(fd, p, static_cast<io_size>(n));
}
int sys_close(int fd) { return _close(fd); }
long long sys_seek(int fd, long long off, int whence) { return _lseeki64(fd, off, whence); }
int sys_fstat(int fd, stat_type* st) { return _fstat64(fd, st); }
bool is_dir_mode(unsigned mode) { return (mode & _S_IFMT) == _S_IFDIR; }
#else
using stat_type = struct stat;
constexpr int read_flags = O_RDONLY | O_CLOEXEC;
constexpr int write_flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
constexpr mode_t create_mode = 0666;
constexpr std::uint64_t max_io = 1u << 30;
int sys_open(const char* name, int flags) { return ::open(name, flags, create_mode); }
// A FIFO of the output's name without a reader would block the open forever:
// open without blocking (that fails for such a FIFO), then write blocking.
int sys_create(const char* name) {
    int fd = ::open(name, write_flags | O_NONBLOCK, create_mode);
    if (fd >= 0) {
        int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}
long long sys_read(int fd, void* p, std::size_t n) { return ::read(fd, p, n); }
long long sys_write(int fd, const void* p, std::size_t n) { return ::write(fd, p, n); }
int sys_close(int fd) { return ::close(fd); }
long long sys_seek(int fd, long long off, int whence) { return ::lseek(fd, off, whence); }
int sys_fstat(int fd, stat_type* st) { return ::fstat(fd, st); }
bool is_dir_mode(mode_t mode) { return S_ISDIR(mode); }
#endif

static_assert(sizeof(long long) == 8, "seek offsets must be 64-bit");

}  // namespace

file::file(file&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

file& file::operator=(file&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

file::~file() { close(); }

std::optional<file> file::open_for_reading(const std::string& name) {
    int fd = sys_open(name.c_str(), read_flags);
    if (fd < 0) return std::nullopt;
    return file(fd);
}

std::optional<file> file::create_for_writing(const std::string& name) {
    int fd = sys_create(name.c_str());
    if (fd < 0) return std::nullopt;
    return file(fd);
}

bool file::is_directory() const noexcept {
    stat_type st{};
    return sys_fstat(fd_, &st) == 0 && is_dir_mode(st.st_mode);
}

read_result file::read(std::span<std::byte> into) noexcept {
    std::size_t want = into.size() < max_io ? into.size() : static_cast<std::size_t>(max_io);
    for (;;) {
        long long got = sys_read(fd_, into.data(), want);
        if (got >= 0) return {static_cast<std::size_t>(got), false};
        if (errno != EINTR) return {0, true};
    }
}

bool file::write_all(std::span<const std::byte> bytes) noexcept {
    const std::byte* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t chunk = left < max_io ? left : static_cast<std::size_t>(max_io);
        long long put = sys_write(fd_, p, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

std::optional<std::uint64_t> file::tell() noexcept {
    long long at = sys_seek(fd_, 0, SEEK_CUR);
    if (at < 0) return std::nullopt;
    return static_cast<std::uint64_t>(at);
}

bool file::seek(std::uint64_t offset) noexcept {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())) return false;
    return sys_seek(fd_, static_cast<long long>(offset), SEEK_SET) >= 0;
}

bool file::seek_to_end() noexcept { return sys_seek(fd_, 0, SEEK_END) >= 0; }

void file::advise_sequential() noexcept {
#if defined(POSIX_FADV_SEQUENTIAL) && !defined(_WIN32)
    (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

bool file::close() noexcept {
    if (fd_ < 0) return true;
    int fd = std::exchange(fd_, -1);
    return sys_close(fd) == 0;
}

bool same_file(const std::string& a, const std::string& b) noexcept {
    std::error_code ec;
    bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

bool remove_file(const std::string& name) noexcept { return std::remove(name.c_str()) == 0; }

namespace {

char interrupted_output[4096];
volatile std::sig_atomic_t have_interrupted_output = 0;

extern "C" void on_interrupt(int signal_number) {
    if (have_interrupted_output != 0) {
#ifdef _WIN32
        _unlink(interrupted_output);
#else
        ::unlink(interrupted_output);
#endif
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

void remove_on_interrupt(const std::string& name) noexcept {
    static const bool installed = [] {
        std::signal(SIGINT, on_interrupt);
        std::signal(SIGTERM, on_interrupt);
        return true;
    }();
    (void)installed;
    have_interrupted_output = 0;
    if (name.size() >= sizeof interrupted_output) return;
    std::memcpy(interrupted_output, name.c_str(), name.size() + 1);
    have_interrupted_output = 1;
}

void forget_on_interrupt() noexcept { have_interrupted_output = 0; }

}  // namespace quibrel::platform
