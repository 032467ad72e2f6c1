#include "AtomicFile.h"

#include "OutputFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

constexpr const char* kTempPrefix = ".mandel-";

Failure failNo(int err) { return fail(std::strerror(err), err); }

// A fresh hidden name for a temporary of this process in `folder`.
std::string temporaryName(const std::string& folder)
{
    static std::atomic<std::uint64_t> counter{0};
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t z = now + 0x9E3779B97F4A7C15ULL * ++counter;
    z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ULL;
    z ^= z >> 29;
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string tail;
    for (int k = 0; k < 6; ++k, z /= 62)
        tail += kAlphabet[z % 62];
    return folder + "/" + kTempPrefix + std::to_string(::getpid()) + "-" + tail;
}

// Errors that mean "this file system cannot do that", not "this failed".
bool unsupported(int err)
{
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL || err == EXDEV;
}

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

} // namespace

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
        if (fd >= 0)
            return PendingFile(fd, folder, {}, features);
    }
    features.unnamedFiles = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryName(folder);
        const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0)
            return PendingFile(fd, folder, std::move(temp), features);
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
        if (!unsupported(errno))
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
        if (!unsupported(errno))
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

namespace {

// Whether `rest`, a temporary's name after the prefix, is a process id, a
// dash and six characters: a temporary whose writer can be asked after.
bool isTemporaryOfProcess(const std::string& rest, pid_t& pid)
{
    const auto dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 || rest.size() != dash + 7)
        return false;
    const std::string digits = rest.substr(0, dash);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    pid = static_cast<pid_t>(std::stol(digits));
    return pid > 0;
}

// Whether `rest` is six letters and digits: a temporary of an older build,
// named without its writer's process id.
bool isOlderTemporary(const std::string& rest)
{
    return rest.size() == 6 &&
           rest.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == std::string::npos;
}

} // namespace

void removeStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    // A writer of an older build cannot be asked after, but no write takes a
    // day: a file of its name left that long was left by a killed one.
    constexpr time_t kOldAge = 24 * 60 * 60;
    const time_t now = ::time(nullptr);
    const std::string prefix = kTempPrefix;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = name.substr(prefix.size());
        pid_t pid = 0;
        if (isTemporaryOfProcess(rest, pid)) {
            if (::kill(pid, 0) != 0 && errno == ESRCH)
                ::unlinkat(::dirfd(dir), name.c_str(), 0);
        } else if (isOlderTemporary(rest)) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
                now - st.st_mtime > kOldAge)
                ::unlinkat(::dirfd(dir), name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

} // namespace mandel
