#include "BmpWriter.h"

#include "ImageSurface.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

namespace {

void put16(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<unsigned char>(v & 0xFFu);
    out[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFFu);
}

void put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
    put16(out, at, v & 0xFFFFu);
    put16(out, at + 2, v >> 16);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string errnoText(int err) { return std::strerror(err); }

// Writes all of `bytes` to `fd` and flushes them to the disk.
int writeAll(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

} // namespace

RgbImage imageOf(const ImageSurface& surface)
{
    return {kDrawableSize, kDrawableSize, surface.pixels()};
}

std::vector<unsigned char> encodeBmp(const RgbImage& image)
{
    const auto w = static_cast<std::uint32_t>(image.width);
    const auto h = static_cast<std::uint32_t>(image.height);
    const std::uint32_t rowBytes = (w * 3u + 3u) & ~3u;  // rows pad to 4 bytes
    const std::uint32_t dataBytes = rowBytes * h;
    constexpr std::uint32_t headerBytes = 14 + 40;
    std::vector<unsigned char> out(headerBytes + dataBytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, headerBytes + dataBytes);
    put32(out, 10, headerBytes);
    put32(out, 14, 40);
    put32(out, 18, w);
    put32(out, 22, h);  // positive height: rows stored bottom-up
    put16(out, 26, 1);
    put16(out, 28, 24);
    put32(out, 34, dataBytes);
    put32(out, 38, 2835);  // 72 dpi
    put32(out, 42, 2835);
    for (std::uint32_t row = 0; row < h; ++row) {
        const std::uint32_t srcRow = h - 1 - row;
        std::size_t at = headerBytes + static_cast<std::size_t>(row) * rowBytes;
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = image.pixels[static_cast<std::size_t>(srcRow) * w + x];
            out[at++] = static_cast<unsigned char>(blueOf(c));
            out[at++] = static_cast<unsigned char>(greenOf(c));
            out[at++] = static_cast<unsigned char>(redOf(c));
        }
    }
    return out;
}

Status writeFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes,
                                Overwrite mode)
{
    if (path.empty())
        return fail("empty file name");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        // A folder takes the name: refused as taken, so a caller can try another.
        return fail(errnoText(EISDIR), mode == Overwrite::Refuse ? EEXIST : EISDIR);

    std::string tmp = folderOf(path) + "/.mandel-XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return fail(errnoText(errno), errno);
    ::fchmod(fd, 0644);
    const int writeErr = writeAll(fd, bytes);
    const int closeErr = ::close(fd) != 0 ? errno : 0;
    if (writeErr != 0 || closeErr != 0) {
        ::unlink(tmp.c_str());
        const int err = writeErr != 0 ? writeErr : closeErr;
        return fail(errnoText(err), err);
    }
    if (mode == Overwrite::Replace) {
        if (::rename(tmp.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(tmp.c_str());
            return fail(errnoText(err), err);
        }
        return {};
    }
    // A hard link fails when the name is taken, so a file is never replaced
    // and two writers cannot both claim one name.
    if (::link(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return fail(errnoText(err), err);
    }
    ::unlink(tmp.c_str());
    return {};
}

} // namespace mandel
