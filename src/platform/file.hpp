// Thin, move-only wrapper over the C runtime's file descriptors.
//
// POSIX and the Windows C runtime share the same descriptor model (open, read,
// write, close, 64-bit seek); the few names and flags that differ are mapped in
// file.cpp. Every offset is a 64-bit unsigned value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quibrel::platform {

// Result of one read: `count` bytes arrived; `error` is set when the read
// failed. A count of zero without an error is the end of the file.
struct read_result {
    std::size_t count = 0;
    bool error = false;
};

class file {
public:
    file() noexcept = default;
    file(const file&) = delete;
    file& operator=(const file&) = delete;
    file(file&& other) noexcept;
    file& operator=(file&& other) noexcept;
    // Closes without reporting: call close() where the result matters.
    ~file();

    // Opens an existing file for binary reading.
    static std::optional<file> open_for_reading(const std::string& name);
    // Creates a file for binary writing, emptying one that exists.
    static std::optional<file> create_for_writing(const std::string& name);

    bool is_open() const noexcept { return fd_ >= 0; }
    bool is_directory() const noexcept;

    // One read of at most `into.size()` bytes.
    read_result read(std::span<std::byte> into) noexcept;
    // Writes all of `bytes`, retrying short writes. False on any failure.
    bool write_all(std::span<const std::byte> bytes) noexcept;

    std::optional<std::uint64_t> tell() noexcept;
    bool seek(std::uint64_t offset) noexcept;
    bool seek_to_end() noexcept;

    // Tells the system the file is read front to back (a hint only).
    void advise_sequential() noexcept;

    // Closes the file; false when the close reported a failure.
    bool close() noexcept;

private:
    explicit file(int fd) noexcept : fd_(fd) {}
    int fd_ = -1;
};

// True when both names denote the same existing file, also through links.
bool same_file(const std::string& a, const std::string& b) noexcept;

// Removes a file by name; false when that failed.
bool remove_file(const std::string& name) noexcept;

// Removes the named file should the process be interrupted (Ctrl-C, SIGTERM)
// before forget_on_interrupt is called, so no half-written output is left.
void remove_on_interrupt(const std::string& name) noexcept;
void forget_on_interrupt() noexcept;

// The line end that text files use on this platform.
#ifdef _WIN32
inline constexpr const char* line_end = "\r\n";
#else
inline constexpr const char* line_end = "\n";
#endif

}  // namespace quibrel::platform
