// A tiny FUSE file system for the fault tests. It passes a backing directory
// through, except that reads of the file named "image" fail with EIO at and
// past ERROR_OFFSET. A read that runs into that offset returns the bytes
// before it, or, with the word "whole" last, fails as a whole, as some
// devices do. direct_io hands each read straight to the tool, so the tool
// meets a real kernel EIO. Other files (the position file) are created and
// written as usual.
//
//     eio_fs BACKING_DIR ERROR_OFFSET MOUNTPOINT [whole]
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string backing_dir;
std::uint64_t error_offset = 0;
bool fail_whole = false;

std::string real(const char* path) { return backing_dir + path; }
bool is_image(const char* path) { return std::strcmp(path, "/image") == 0; }
int fail() { return -errno; }

int fs_getattr(const char* path, struct stat* st, fuse_file_info*) {
    return ::lstat(real(path).c_str(), st) == 0 ? 0 : fail();
}

int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
    DIR* d = ::opendir(real(path).c_str());
    if (d == nullptr) return fail();
    while (dirent* e = ::readdir(d)) fill(buf, e->d_name, nullptr, 0, fuse_fill_dir_flags{});
    ::closedir(d);
    return 0;
}

int fs_open(const char* path, fuse_file_info* fi) {
    int fd = ::open(real(path).c_str(), fi->flags);
    if (fd < 0) return fail();
    fi->fh = static_cast<std::uint64_t>(fd);
    fi->direct_io = 1;
    return 0;
}

int fs_create(const char* path, mode_t mode, fuse_file_info* fi) {
    int fd = ::open(real(path).c_str(), fi->flags | O_CREAT, mode);
    if (fd < 0) return fail();
    fi->fh = static_cast<std::uint64_t>(fd);
    fi->direct_io = 1;
    return 0;
}

int fs_read(const char* path, char* buf, size_t size, off_t off, fuse_file_info* fi) {
    if (is_image(path)) {
        auto at = static_cast<std::uint64_t>(off);
        if (at >= error_offset) return -EIO;
        if (size > error_offset - at) {
            if (fail_whole) return -EIO;
            size = static_cast<size_t>(error_offset - at);
        }
    }
    ssize_t got = ::pread(static_cast<int>(fi->fh), buf, size, off);
    return got < 0 ? fail() : static_cast<int>(got);
}

int fs_write(const char*, const char* buf, size_t size, off_t off, fuse_file_info* fi) {
    ssize_t put = ::pwrite(static_cast<int>(fi->fh), buf, size, off);
    return put < 0 ? fail() : static_cast<int>(put);
}

int fs_truncate(const char* path, off_t size, fuse_file_info*) {
    return ::truncate(real(path).c_str(), size) == 0 ? 0 : fail();
}

int fs_unlink(const char* path) { return ::unlink(real(path).c_str()) == 0 ? 0 : fail(); }

int fs_release(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && !(argc == 5 && std::strcmp(argv[4], "whole") == 0)) {
        std::fprintf(stderr, "usage: eio_fs BACKING_DIR ERROR_OFFSET MOUNTPOINT [whole]\n");
        return 2;
    }
    fail_whole = argc == 5;
    backing_dir = argv[1];
    error_offset = std::strtoull(argv[2], nullptr, 10);

    fuse_operations ops{};
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.create = fs_create;
    ops.read = fs_read;
    ops.write = fs_write;
    ops.truncate = fs_truncate;
    ops.unlink = fs_unlink;
    ops.release = fs_release;

    std::vector<char*> args{argv[0], argv[3], const_cast<char*>("-f"), const_cast<char*>("-s")};
    return fuse_main(static_cast<int>(args.size()), args.data(), &ops, nullptr);
}
