#include "LocationFile.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace mandel {

namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A location chunk holds a keyword, a few bytes of header and the text,
// perhaps compressed (deflate adds a little to what it cannot shrink).
constexpr std::uint64_t kMaxLocationChunk = kMaxLocationText + 64 * 1024;
// A PNG this program wrote holds one location chunk; a few more that agree
// are read, past that the file is refused rather than inflated on.
constexpr int kMaxLocationChunks = 8;
// The PNG format's largest chunk length.
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// Enough of a text chunk to hold its keyword (1 to 79 bytes) and the NUL after it.
constexpr std::size_t kKeywordBytes = 80;

Failure failNo(int err) { return fail(std::strerror(err), err); }

Failure damaged(const std::string& why) { return fail("the PNG is damaged (" + why + ")", EINVAL); }

std::string kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a pipe or FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a folder";
    return "not a regular file";
}

// A file read once, front to back, through a small buffer: nothing is read
// twice, so a pipe reads as a file does. A pipe, FIFO or terminal is
// waited for without blocking in open(), saying so when it stays silent.
class Input {
public:
    static Result<Input> open(const std::string& path, const LocationReading& how)
    {
        if (how.regularFilesOnly) {
            // Looked at before it is opened: opening a FIFO waits for a writer.
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0)
                return failNo(errno);
            if (!S_ISREG(st.st_mode))
                return fail(kindOf(st.st_mode) + ", not a regular file", EINVAL);
        }
        // Without blocking: a FIFO opens at once, writer or not.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return failNo(errno);
        Input in(fd, how);
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return failNo(errno);
        if (S_ISDIR(st.st_mode))
            return failNo(EISDIR);
        if (how.regularFilesOnly && !S_ISREG(st.st_mode))
            return fail(kindOf(st.st_mode) + ", not a regular file", EINVAL);
        in.regular_ = S_ISREG(st.st_mode);
        // A regular file is read as any file is (some network file systems
        // answer EAGAIN to a read that must not block).
        if (in.regular_)
            (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return in;
    }

    Input(Input&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), regular_(other.regular_), announced_(other.announced_),
          how_(std::move(other.how_)), buffer_(std::move(other.buffer_)), at_(other.at_), end_(other.end_)
    {
    }
    Input& operator=(Input&&) = delete;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    // Up to `n` bytes into `to`; 0 at the end of the file.
    Result<std::size_t> readSome(unsigned char* to, std::size_t n)
    {
        if (at_ == end_) {
            auto filled = fill();
            if (!filled)
                return filled.failure();
            if (*filled == 0)
                return std::size_t{0};
        }
        const std::size_t take = std::min(n, end_ - at_);
        std::memcpy(to, buffer_.data() + at_, take);
        at_ += take;
        return take;
    }

    // Exactly `n` bytes into `to`; false, with `cutShort` set, when the file ends first.
    Status read(unsigned char* to, std::size_t n, bool& cutShort)
    {
        cutShort = false;
        for (std::size_t done = 0; done < n;) {
            auto got = readSome(to + done, n - done);
            if (!got)
                return got.failure();
            if (*got == 0) {
                cutShort = true;
                return fail("cut short", EINVAL);
            }
            done += *got;
        }
        return {};
    }

    // Passes over `n` bytes (seeking where the file allows); false, with
    // `cutShort` set, when the file ends first.
    Status skip(std::uint64_t n, bool& cutShort)
    {
        cutShort = false;
        const std::uint64_t buffered = std::min<std::uint64_t>(n, end_ - at_);
        at_ += static_cast<std::size_t>(buffered);
        n -= buffered;
        if (n == 0)
            return {};
        if (regular_) {
            const off_t here = ::lseek(fd_, 0, SEEK_CUR);
            struct stat st {};
            if (here < 0 || ::fstat(fd_, &st) != 0)
                return failNo(errno);
            if (static_cast<std::uint64_t>(st.st_size - here) < n) {
                cutShort = true;
                return fail("cut short", EINVAL);
            }
            if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0)
                return failNo(errno);
            return {};
        }
        while (n > 0) {
            auto filled = fill();
            if (!filled)
                return filled.failure();
            if (*filled == 0) {
                cutShort = true;
                return fail("cut short", EINVAL);
            }
            const std::uint64_t take = std::min<std::uint64_t>(n, end_ - at_);
            at_ += static_cast<std::size_t>(take);
            n -= take;
        }
        return {};
    }

private:
    Input(int fd, const LocationReading& how) : fd_(fd), how_(how), buffer_(64 * 1024) {}

    // Reads the next bytes into the buffer; 0 at the end of the file.
    Result<std::size_t> fill()
    {
        at_ = end_ = 0;
        for (;;) {
            if (!regular_) {
                // A FIFO without a writer reads as ended at once: wait for
                // bytes (or for a writer that came and went) first.
                pollfd p{fd_, POLLIN, 0};
                const int ready = ::poll(&p, 1, announced_ ? -1 : std::max(how_.patienceMs, 0));
                if (ready < 0 && errno != EINTR)
                    return failNo(errno);
                if (ready == 0) {
                    announced_ = true;
                    if (how_.waiting)
                        how_.waiting();
                    continue;
                }
                if (ready < 0)
                    continue;
            }
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n > 0) {
                end_ = static_cast<std::size_t>(n);
                return end_;
            }
            if (n == 0)
                return std::size_t{0};
            if (errno != EINTR && errno != EAGAIN)
                return failNo(errno);
        }
    }

    int fd_ = -1;
    bool regular_ = false;
    bool announced_ = false;  // the wait was said (or nothing is waited for)
    LocationReading how_;
    std::vector<unsigned char> buffer_;
    std::size_t at_ = 0, end_ = 0;
};

std::uint32_t bigEndian32(const unsigned char* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

bool isChunkName(const unsigned char* type)
{
    return std::all_of(type, type + 4, [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

bool named(const unsigned char* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// The text `data` inflates to, at most kMaxLocationText bytes.
Result<std::string> inflated(const unsigned char* data, std::size_t size)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return fail("out of memory", ENOMEM);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    std::string text;
    std::array<unsigned char, 16384> out{};
    for (;;) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int r = inflate(&z, Z_NO_FLUSH);
        const std::size_t produced = out.size() - z.avail_out;
        if (text.size() + produced > kMaxLocationText) {
            inflateEnd(&z);
            return fail("the PNG's location chunk inflates to more than " + std::to_string(kMaxLocationText >> 20) +
                            " MiB, more than any location takes",
                        EFBIG);
        }
        text.append(reinterpret_cast<const char*>(out.data()), produced);
        if (r == Z_STREAM_END)
            break;
        if ((r != Z_OK && r != Z_BUF_ERROR) || (z.avail_in == 0 && produced == 0)) {
            inflateEnd(&z);
            return fail("the PNG's location chunk is damaged (its compressed text " +
                            std::string(r == Z_OK || r == Z_BUF_ERROR ? "is cut short" : "cannot be inflated") + ")",
                        EINVAL);
        }
    }
    inflateEnd(&z);
    return text;
}

// The text of a location chunk of type `type` whose data is `data`, its
// keyword and NUL the first `after` bytes; `data` is taken (a tEXt's text
// is the data itself, never copied).
Result<std::string> chunkText(const unsigned char* type, std::string&& data, std::size_t after)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + after;
    std::size_t left = data.size() - after;
    std::string text;
    if (named(type, "tEXt")) {
        data.erase(0, after);
        text = std::move(data);
    } else if (named(type, "zTXt")) {
        if (left < 1 || p[0] != 0)
            return fail("the PNG's location chunk is damaged (an unknown compression)", EINVAL);
        auto inflatedText = inflated(p + 1, left - 1);
        if (!inflatedText)
            return inflatedText.failure();
        text = std::move(*inflatedText);
    } else {
        // iTXt: compression flag and method, language tag, translated keyword, text.
        if (left < 2 || p[0] > 1 || p[1] != 0)
            return fail("the PNG's location chunk is damaged (an unknown compression)", EINVAL);
        const bool compressed = p[0] == 1;
        p += 2;
        left -= 2;
        for (int field = 0; field < 2; ++field) {
            const auto* nul = static_cast<const unsigned char*>(std::memchr(p, 0, left));
            if (!nul)
                return fail("the PNG's location chunk is damaged (its header is cut short)", EINVAL);
            left -= static_cast<std::size_t>(nul + 1 - p);
            p = nul + 1;
        }
        if (compressed) {
            auto inflatedText = inflated(p, left);
            if (!inflatedText)
                return inflatedText.failure();
            text = std::move(*inflatedText);
        } else {
            data.erase(0, data.size() - left);
            text = std::move(data);
        }
    }
    if (text.size() > kMaxLocationText)
        return fail("the PNG's location is longer than any location (" + std::to_string(kMaxLocationText >> 20) +
                        " MiB)",
                    EFBIG);
    if (text.find('\0') != std::string::npos)
        return fail("the PNG's location chunk holds bytes after a NUL", EINVAL);
    return text;
}

// Reads a PNG whose signature has been read, up to its image data, and
// gives the location text it holds (empty when none).
Result<std::optional<std::string>> scanPng(Input& in)
{
    std::optional<std::string> found;
    int locationChunks = 0;
    bool cutShort = false;
    auto failedRead = [&](const Status& s) { return cutShort ? damaged("cut short") : s.failure(); };
    for (bool first = true;; first = false) {
        unsigned char head[8];
        if (Status s = in.read(head, sizeof head, cutShort); !s)
            return failedRead(s);
        const std::uint32_t length = bigEndian32(head);
        const unsigned char* type = head + 4;
        if (length > kMaxChunkLength || !isChunkName(type))
            return damaged("a chunk's header is not one");
        if (first && !(named(type, "IHDR") && length == 13))
            return damaged("it does not start with its header chunk, IHDR");
        if (named(type, "IDAT") || named(type, "IEND"))
            break;
        const bool text = named(type, "tEXt") || named(type, "zTXt") || named(type, "iTXt");
        if (!first && !text) {
            if (Status s = in.skip(std::uint64_t{length} + 4, cutShort); !s)
                return failedRead(s);
            continue;
        }
        // The header, or a text chunk's keyword and the NUL after it.
        std::string data;
        auto bytes = [&data](std::size_t from = 0) { return reinterpret_cast<unsigned char*>(data.data()) + from; };
        if (first) {
            data.resize(13);
            if (Status s = in.read(bytes(), data.size(), cutShort); !s)
                return failedRead(s);
        } else {
            while (data.size() < std::min<std::size_t>(length, kKeywordBytes) && (data.empty() || data.back() != 0)) {
                unsigned char c = 0;
                if (Status s = in.read(&c, 1, cutShort); !s)
                    return failedRead(s);
                data.push_back(static_cast<char>(c));
            }
        }
        uLong crc = crc32(crc32(0L, Z_NULL, 0), type, 4);
        crc = crc32(crc, bytes(), static_cast<uInt>(data.size()));
        const auto nul = data.find('\0');
        const bool location = !first && nul != std::string::npos && data.compare(0, nul, kPngLocationKeyword) == 0;
        const std::size_t textAt = nul + 1;
        if (!first && !location) {
            if (Status s = in.skip(std::uint64_t{length} - data.size() + 4, cutShort); !s)
                return failedRead(s);
            continue;
        }
        if (location) {
            if (length > kMaxLocationChunk)
                return fail("the PNG's location chunk is " + std::to_string(length) +
                                " bytes long, more than any location takes",
                            EFBIG);
            if (++locationChunks > kMaxLocationChunks)
                return fail("the PNG holds more than " + std::to_string(kMaxLocationChunks) + " location chunks",
                            EINVAL);
            const std::size_t had = data.size();
            data.resize(length);
            if (Status s = in.read(bytes(had), length - had, cutShort); !s)
                return failedRead(s);
            crc = crc32(crc, bytes(had), static_cast<uInt>(length - had));
        }
        unsigned char stored[4];
        if (Status s = in.read(stored, sizeof stored, cutShort); !s)
            return failedRead(s);
        if (bigEndian32(stored) != static_cast<std::uint32_t>(crc))
            return damaged(std::string(reinterpret_cast<const char*>(type), 4) + ": CRC error");
        if (first) {
            if (bigEndian32(bytes()) == 0 || bigEndian32(bytes(4)) == 0)
                return damaged("it declares no pixels");
            continue;
        }
        auto textOf = chunkText(type, std::move(data), textAt);
        if (!textOf)
            return textOf.failure();
        if (found && *found != *textOf)
            return fail("the PNG holds two location chunks that disagree", EINVAL);
        if (!found)
            found = std::move(*textOf);
    }
    return found;
}

Result<Location> pngLocation(Input& in)
{
    auto scanned = scanPng(in);
    if (!scanned)
        return scanned.failure();
    if (!*scanned)
        return fail("the PNG holds no location (only pictures this program wrote do)", EINVAL);
    auto location = parseLocation(**scanned);
    if (!location)
        return fail("the PNG's location is damaged: " + location.error(), EINVAL);
    return location;
}

// Reads the first bytes of `in`, up to the length of a PNG's signature,
// into `head`; whether they are that signature.
Result<bool> startsLikePng(Input& in, std::vector<unsigned char>& head)
{
    head.resize(kPngSignature.size());
    std::size_t got = 0;
    while (got < head.size()) {
        auto n = in.readSome(head.data() + got, head.size() - got);
        if (!n)
            return n.failure();
        if (*n == 0)
            break;
        got += *n;
    }
    head.resize(got);
    return got == kPngSignature.size() && std::equal(head.begin(), head.end(), kPngSignature.begin());
}

} // namespace

Result<Location> readPngLocation(const std::string& path, const LocationReading& how)
{
    auto in = Input::open(path, how);
    if (!in)
        return in.failure();
    std::vector<unsigned char> head;
    auto png = startsLikePng(*in, head);
    if (!png)
        return png.failure();
    if (!*png)
        return fail("not a PNG file", EINVAL);
    return pngLocation(*in);
}

Result<Location> readLocationFile(const std::string& path, const LocationReading& how)
{
    auto in = Input::open(path, how);
    if (!in)
        return in.failure();
    // The first bytes tell what the file is; they are kept, not read again.
    std::vector<unsigned char> head;
    auto png = startsLikePng(*in, head);
    if (!png)
        return png.failure();
    if (*png)
        return pngLocation(*in);
    std::string text(head.begin(), head.end());
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        auto n = in->readSome(chunk.data(), chunk.size());
        if (!n)
            return n.failure();
        if (*n == 0)
            break;
        if (text.size() + *n > kMaxLocationText)
            return fail("neither a PNG this program wrote nor a location line (longer than any location)", EINVAL);
        text.append(reinterpret_cast<const char*>(chunk.data()), *n);
    }
    if (text.find('\0') != std::string::npos)
        return fail("neither a PNG this program wrote nor a location line", EINVAL);
    auto location = parseLocation(text);
    if (!location)
        return fail("neither a PNG this program wrote nor a location line (" + location.error() + ")", EINVAL);
    return location;
}

} // namespace mandel
