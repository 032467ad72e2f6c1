#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

Failure failNo(int err) { return fail(std::strerror(err), err); }

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The path a chain of symbolic links ends at (which need not exist).
Result<std::string> resolveLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            return failNo(errno);
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
    }
    return failNo(ELOOP);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

Result<OutputFile> OutputFile::open(const std::string& path, Overwrite mode, FileSystemFeatures features)
{
    if (path.empty())
        return fail("empty file name");
    OutputFile out;
    out.mode_ = mode;
    out.target_ = path;
    struct stat st {};
    if (mode == Overwrite::Refuse) {
        if (::lstat(path.c_str(), &st) == 0)
            return fail(std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EEXIST), EEXIST);
    } else {
        // The kernel resolves the path, as an ordinary open() of it would,
        // with that open's refusals: a link the kernel will not follow (one
        // of another user in a sticky world-writable folder, under
        // fs.protected_symlinks) is refused here, not followed in user space.
        const int at = ::open(path.c_str(), O_PATH | O_CLOEXEC);
        if (at < 0 && errno != ENOENT)
            return failNo(errno);
        if (at >= 0) {
            const int statted = ::fstat(at, &st);
            const int err = errno;
            ::close(at);
            if (statted != 0)
                return failNo(err);
            if (S_ISDIR(st.st_mode))
                return failNo(EISDIR);
            if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
                // A device or pipe takes the bytes as they come: there is nothing to replace.
                out.throughFd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
                if (out.throughFd_ < 0)
                    return failNo(errno);
                return out;
            }
            if (!S_ISREG(st.st_mode))
                return fail("neither a regular file nor a device or pipe to write through", EINVAL);
            // Replaced only if this user could write it: opened for writing
            // (nothing in it changes), as `>` in a shell would open it.
            const int writable = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (writable < 0)
                return failNo(errno);
            struct stat opened {};
            const int openedStat = ::fstat(writable, &opened);
            ::close(writable);
            if (openedStat != 0 || !sameFile(opened, st))
                return fail("the file changed while it was opened", EAGAIN);
        }
        // Where the finished file goes: the end of the links, named in the
        // folder that holds it. It must be the very file the kernel opened
        // (or, for a new name, nothing yet).
        auto resolved = resolveLinks(path);
        if (!resolved)
            return resolved.failure();
        struct stat there {};
        const bool exists = ::lstat(resolved->c_str(), &there) == 0;
        if (at >= 0 ? !(exists && sameFile(there, st)) : exists)
            return fail("the file changed while it was opened", EAGAIN);
        out.target_ = std::move(*resolved);
    }
    auto file = PendingFile::create(folderOf(out.target_), features);
    if (!file)
        return file.failure();
    out.pending_.emplace(std::move(*file));
    return out;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : pending_(std::move(other.pending_)), target_(std::move(other.target_)), mode_(other.mode_),
      throughFd_(other.throughFd_), throughAt_(other.throughAt_)
{
    other.pending_.reset();
    other.throughFd_ = -1;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        if (throughFd_ >= 0)
            ::close(throughFd_);
        pending_ = std::move(other.pending_);
        other.pending_.reset();
        target_ = std::move(other.target_);
        mode_ = other.mode_;
        throughFd_ = other.throughFd_;
        throughAt_ = other.throughAt_;
        other.throughFd_ = -1;
    }
    return *this;
}

OutputFile::~OutputFile()
{
    if (throughFd_ >= 0)
        ::close(throughFd_);
}

Status OutputFile::writeAt(std::uint64_t offset, std::span<const unsigned char> bytes)
{
    if (pending_)
        return pending_->writeAt(offset, bytes);
    if (throughFd_ < 0)
        return failNo(EBADF);
    if (offset != throughAt_)
        return fail("a device or pipe takes a file in order only", ESPIPE);
    Status written = writeFully(throughFd_, bytes);
    if (written)
        throughAt_ += bytes.size();
    return written;
}

Status OutputFile::commit()
{
    if (throughFd_ >= 0) {
        const int fd = throughFd_;
        throughFd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return failNo(errno);
        return {};
    }
    if (!pending_)
        return failNo(EBADF);
    if (Status s = pending_->finish(); !s)
        return s;
    const Status published = mode_ == Overwrite::Refuse ? pending_->publishNew(target_) : pending_->publishOver(target_);
    if (published)
        pending_.reset();
    return published;
}

} // namespace mandel
