#include "AtomicFile.h"

#include "OutputFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

// Hidden temporaries are named kTempPrefix and kTempDigits hexadecimal
// digits, and nothing else: a name no other program's file is likely to
// have (".mandel-config" is not one), so the sweep touches only ours.
constexpr std::string_view kTempPrefix = ".mandel-partial-";
constexpr std::size_t kTempDigits = 16;

// A temporary younger than this is never judged stale: its writer may not
// have taken its lock yet (it takes it right after making the file).
constexpr time_t kLockGrace = 60;

Failure failNo(int err) { return fail(std::strerror(err), err); }

// A fresh hidden name for a temporary in `folder`.
std::string temporaryName(const std::string& folder)
{
    static std::atomic<std::uint64_t> counter{0};
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto wall = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::uint64_t z = now ^ (wall << 17) ^ (static_cast<std::uint64_t>(::getpid()) << 40) ^
                      (0x9E3779B97F4A7C15ULL * ++counter);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string tail;
    for (std::size_t k = 0; k < kTempDigits; ++k, z >>= 4)
        tail += kHex[z & 0xF];
    return folder + "/" + std::string(kTempPrefix) + tail;
}

// Whether `name` is one of our temporaries' names.
bool isTemporaryName(std::string_view name)
{
    return name.size() == kTempPrefix.size() + kTempDigits && name.substr(0, kTempPrefix.size()) == kTempPrefix &&
           name.find_first_not_of("0123456789abcdef", kTempPrefix.size()) == std::string_view::npos;
}

// A lock on the whole of the file open as `fd`, held by that open file
// (not the process, so it holds across PID namespaces and, where the file
// system passes locks on, across hosts) until it is closed. Writers hold a
// write lock on a temporary as long as they write it; the sweep takes a
// read lock, which it only gets when no writer holds the file.
bool lockWhole(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}


std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

} // namespace

bool fileSystemLacks(int err)
{
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL || err == EXDEV;
}

Status writeFully(int fd, std::span<const unsigned char> bytes, std::optional<std::uint64_t> offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const unsigned char* from = bytes.data() + done;
        const std::size_t left = bytes.size() - done;
        const ssize_t n = offset ? ::pwrite(fd, from, left, static_cast<off_t>(*offset + done)) : ::write(fd, from, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failNo(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

PendingFile::PendingFile(int fd, std::string folder, std::string tempPath, FileSystemFeatures features)
    : fd_(fd), folder_(std::move(folder)), tempPath_(std::move(tempPath)), features_(features)
{
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : fd_(other.fd_), folder_(std::move(other.folder_)), tempPath_(std::move(other.tempPath_)),
      features_(other.features_)
{
    other.fd_ = -1;
    other.tempPath_.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept
{
    if (this != &other) {
        discard();
        fd_ = other.fd_;
        folder_ = std::move(other.folder_);
        tempPath_ = std::move(other.tempPath_);
        features_ = other.features_;
        other.fd_ = -1;
        other.tempPath_.clear();
    }
    return *this;
}

PendingFile::~PendingFile() { discard(); }

void PendingFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

Result<PendingFile> PendingFile::create(const std::string& folder, FileSystemFeatures features)
{
    // An unnamed file is named later through /proc; without /proc it could
    // never be named, so it is only used where /proc is there.
    if (features.unnamedFiles && ::access("/proc/self/fd", X_OK) == 0) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Locked too: it gets a hidden name for a moment when it replaces a file.
            (void)lockWhole(fd, F_WRLCK);
            return PendingFile(fd, folder, {}, features);
        }
    }
    features.unnamedFiles = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryName(folder);
        const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Where the file system cannot lock, the sweep cannot tell this
            // temporary is stale and leaves it: the write goes on regardless.
            (void)lockWhole(fd, F_WRLCK);
            return PendingFile(fd, folder, std::move(temp), features);
        }
        if (errno != EEXIST)
            return failNo(errno);
    }
    return failNo(EEXIST);
}

Status PendingFile::append(std::span<const unsigned char> bytes)
{
    if (fd_ < 0)
        return failNo(EBADF);
    return writeFully(fd_, bytes);
}

Status PendingFile::writeAt(std::uint64_t offset, std::span<const unsigned char> bytes)
{
    if (fd_ < 0)
        return failNo(EBADF);
    return writeFully(fd_, bytes, offset);
}

Status PendingFile::finish()
{
    if (fd_ < 0)
        return failNo(EBADF);
    // Some file systems cannot sync (EINVAL) or are read-only; the data is
    // then as safe as they make it.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        return failNo(errno);
    return {};
}

Status PendingFile::linkUnnamed(const std::string& path) const
{
    if (::linkat(AT_FDCWD, procPath(fd_).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return failNo(errno);
    return {};
}

Status PendingFile::publishNew(const std::string& path)
{
    if (fd_ < 0)
        return failNo(EBADF);
    if (tempPath_.empty()) {
        const Status linked = linkUnnamed(path);
        if (linked)
            discard();
        return linked;
    }
    if (features_.hardLinks) {
        // A hard link fails when the name is taken, so a file is never
        // replaced and two writers cannot both claim one name.
        if (::link(tempPath_.c_str(), path.c_str()) == 0) {
            discard();
            return {};
        }
        if (!fileSystemLacks(errno))
            return failNo(errno);
    }
    return nameWithoutLinks(path);
}

Status PendingFile::nameWithoutLinks(const std::string& path)
{
    if (features_.renameNoReplace) {
        if (::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            tempPath_.clear();
            discard();
            return {};
        }
        if (!fileSystemLacks(errno))
            return failNo(errno);
    }
    // Claim the name with an exclusive create, then move the finished file
    // over the empty claim: the name never shows a partial picture, and a
    // name someone else holds is never taken.
    const int claim = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (claim < 0)
        return failNo(errno);
    ::close(claim);
    if (::rename(tempPath_.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(path.c_str());
        return failNo(err);
    }
    tempPath_.clear();
    discard();
    return {};
}

Status PendingFile::publishOver(const std::string& path)
{
    if (fd_ < 0)
        return failNo(EBADF);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // The replacement is the same file to its owner: same owner (where
        // allowed, and before the mode, which a change of owner may clear),
        // same mode (where the file system keeps modes at all: FAT does not).
        (void)::fchown(fd_, st.st_uid, st.st_gid);
        (void)::fchmod(fd_, st.st_mode & 07777);
    }
    if (tempPath_.empty()) {
        // An unnamed file cannot be moved: give it a hidden name first.
        for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
            std::string temp = temporaryName(folder_);
            const Status linked = linkUnnamed(temp);
            if (linked)
                tempPath_ = std::move(temp);
            else if (linked.failure().code != EEXIST)
                return linked;
        }
        if (tempPath_.empty())
            return failNo(EEXIST);
    }
    if (::rename(tempPath_.c_str(), path.c_str()) != 0)
        return failNo(errno);
    tempPath_.clear();
    discard();
    return {};
}

Status writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes, Overwrite mode,
                           FileSystemFeatures features)
{
    auto out = OutputFile::open(path, mode, features);
    if (!out)
        return out.failure();
    if (Status s = out->writeAt(0, bytes); !s)
        return s;
    return out->commit();
}

void removeStaleTemporaries(const std::string& folder)
{
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!isTemporaryName(name))
            continue;
        // Opened as it is, never through a link, never waiting on a FIFO.
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // Stale: a regular file past the grace that no writer holds locked.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime >= kLockGrace && lockWhole(fd, F_RDLCK)) {
            // Still the file under that name: removed while the lock keeps writers out.
            struct stat named {};
            if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == st.st_dev &&
                named.st_ino == st.st_ino)
                ::unlinkat(dirFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace mandel
