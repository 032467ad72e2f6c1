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
    } else if (::stat(path.c_str(), &st) == 0) {
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
        auto resolved = resolveLinks(path);
        if (!resolved)
            return resolved.failure();
        out.target_ = std::move(*resolved);
    } else if (errno == ENOENT) {
        // A new name, or a link to one: the file goes where the link points.
        auto resolved = resolveLinks(path);
        if (!resolved)
            return resolved.failure();
        out.target_ = std::move(*resolved);
    } else {
        return failNo(errno);
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
