#include "LocationFile.h"
#include "PngBandWriter.h"

#include "MemoryFile.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;
using testing::MemoryFile;
using Bytes = std::vector<unsigned char>;

const char* const kLine = "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25 size=7x5";
const char* const kDeepLine =
    "mandel-location/1 mode=7 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.7436438870371587,0.1318259042053119 zoom=20 iterations=10000";

// A 7x5 PNG holding `texts`.
Bytes pngWith(std::vector<PngText> texts)
{
    MemoryFile file;
    PngBandWriter png({7, 5}, std::move(texts), file.writer(), nullptr);
    const std::vector<std::uint8_t> rgb(7 * 5 * 3, 77);
    EXPECT_TRUE(png.writeRows(rgb.data(), 5));
    return file.bytes;
}

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bigEndian(std::uint32_t v)
{
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v)};
}

// A chunk of `type` holding `data`, with its right CRC; `declared`, when
// given, is the length its header claims instead.
Bytes chunk(const char* type, const Bytes& data, std::optional<std::uint32_t> declared = std::nullopt)
{
    const Bytes named = bytesOf(type) + data;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), named.data(), static_cast<uInt>(named.size()));
    return bigEndian(declared.value_or(static_cast<std::uint32_t>(data.size()))) + named +
           bigEndian(static_cast<std::uint32_t>(crc));
}

Bytes deflated(const std::string& text)
{
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

const std::string kKeyword = std::string("mandel-location") + '\0';

Bytes tEXt(const std::string& text, const std::string& keyword = kKeyword) { return chunk("tEXt", bytesOf(keyword + text)); }
Bytes zTXt(const std::string& text, const std::string& keyword = kKeyword)
{
    return chunk("zTXt", bytesOf(keyword) + Bytes{0} + deflated(text));
}
Bytes iTXt(const std::string& text, bool compressed)
{
    return chunk("iTXt", bytesOf(kKeyword) + Bytes{static_cast<unsigned char>(compressed ? 1 : 0), 0} +
                             bytesOf(std::string("en") + '\0' + "Ort" + '\0') +
                             (compressed ? deflated(text) : bytesOf(text)));
}

// A PNG of our writer with `chunks` put in after its header chunk.
Bytes pngHolding(const Bytes& chunks)
{
    Bytes png = pngWith({});
    constexpr std::size_t kAfterHeader = 8 + 25;
    png.insert(png.begin() + kAfterHeader, chunks.begin(), chunks.end());
    return png;
}

// The first bytes of a PNG: its signature and header chunk.
Bytes pngStart()
{
    const Bytes png = pngWith({});
    return Bytes(png.begin(), png.begin() + 33);
}

// A PNG's signature alone.
Bytes signature()
{
    const Bytes png = pngWith({});
    return Bytes(png.begin(), png.begin() + 8);
}

// A PNG whose location chunk lost a byte's worth of bits on the way.
Bytes corrupted()
{
    auto bytes = pngWith({{"mandel-location", kLine}});
    const std::string needle = "mode=3";
    const auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    EXPECT_NE(at, bytes.end());
    at[5] = '4';
    return bytes;
}

// Many chunks: `count` copies of `one`.
Bytes times(int count, const Bytes& one)
{
    Bytes all;
    for (int k = 0; k < count; ++k)
        all.insert(all.end(), one.begin(), one.end());
    return all;
}

// What reading a file gave: the location line or the reason.
struct Read {
    bool ok;
    std::string said;
};

Read outcome(const Result<Location>& r) { return r ? Read{true, formatLocation(*r)} : Read{false, r.error()}; }

// The peak memory (VmHWM) of a process that reads `path` and nothing else
// (this test binary, running ReadsTheFileItIsGiven alone), in bytes; -1
// where it cannot be measured.
long long peakMemoryOfReading(const fs::path& path)
{
#if defined(__SANITIZE_ADDRESS__)
    (void)path;
    return -1;  // AddressSanitizer's own memory swamps the figure
#else
    const std::string command = "MANDEL_READ_LOCATION='" + path.string() + "' '" +
                                fs::read_symlink("/proc/self/exe").string() +
                                "' --gtest_filter=LocationFileReader.ReadsTheFileItIsGiven";
    FILE* out = ::popen(command.c_str(), "r");
    if (!out)
        return -1;
    long long peak = -1;
    char line[256];
    while (std::fgets(line, sizeof line, out))
        if (std::strncmp(line, "peak ", 5) == 0)
            peak = std::atoll(line + 5);
    return ::pclose(out) == 0 ? peak : -1;
#endif
}

// Run in a process of its own by peakMemoryOfReading: reads the file and
// prints the peak memory of the process.
TEST(LocationFileReader, ReadsTheFileItIsGiven)
{
    const char* path = std::getenv("MANDEL_READ_LOCATION");
    if (!path)
        GTEST_SKIP() << "run by CraftedFilesGiveTheirLocationOrARefusalInBoundedMemory in a process of its own";
    (void)readLocationFile(path);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            std::cout << "peak " << std::stoll(line.substr(6)) * 1024 << std::endl;
}

class LocationFiles : public ::testing::Test {
protected:
    fs::path put(const Bytes& bytes, const char* name = "file")
    {
        const fs::path p = scratch.path() / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    // Reads `bytes` through a FIFO whose writer comes only once the reader
    // has said that it waits, and writes them in pieces.
    Read throughFifo(const Bytes& bytes)
    {
        const fs::path fifo = scratch.path() / "fifo";
        fs::remove(fifo);
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::atomic<bool> waited{false};
        std::thread writer([&] {
            while (!waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
            // The reader may stop early and close its end: the rest then fails (EPIPE).
            for (std::size_t at = 0; fd >= 0 && at < bytes.size();) {
                const ssize_t n = ::write(fd, bytes.data() + at, std::min<std::size_t>(bytes.size() - at, 3000));
                if (n <= 0)
                    break;
                at += static_cast<std::size_t>(n);
            }
            if (fd >= 0)
                ::close(fd);
        });
        LocationReading how;
        how.patienceMs = 20;
        how.waiting = [&] { waited = true; };
        const Read read = outcome(readLocationFile(fifo.string(), how));
        writer.join();
        EXPECT_TRUE(waited) << "a FIFO nobody writes to yet is said to be waited for";
        return read;
    }
    void SetUp() override { oldPipe_ = std::signal(SIGPIPE, SIG_IGN); }
    void TearDown() override { std::signal(SIGPIPE, oldPipe_); }
    testing::ScratchFolder scratch{"locfile"};

private:
    void (*oldPipe_)(int) = SIG_DFL;
};

// Every crafted file, read from a regular file and through a FIFO, gives
// the same location or the same refusal, in bounded memory.
TEST_F(LocationFiles, CraftedFilesGiveTheirLocationOrARefusalInBoundedMemory)
{
    const std::string eightMegabytesOfBlanks(std::size_t{8} << 20, ' ');
    const std::string longLine = "mandel-location/1" + std::string(kMaxLocationText, ' ') + "mode=1";
    // As long as a location may be: the most memory a good file takes.
    const std::string longest = kLine + std::string(kMaxLocationText - std::strlen(kLine), ' ');
    const struct {
        const char* name;
        Bytes bytes;
        const char* expect;  // the location line read, or part of the reason
        bool ok;
    } files[] = {
        {"our own PNG", pngWith({{"Software", "mandel-render"}, {"mandel-location", kLine}}), kLine, true},
        {"our own PNG of a deep view", pngWith({{"mandel-location", kDeepLine}}), kDeepLine, true},
        {"a text file of one line", bytesOf(std::string("  ") + kLine + "\n"), kLine, true},
        {"a zTXt chunk", pngHolding(zTXt(kLine)), kLine, true},
        {"an iTXt chunk", pngHolding(iTXt(kLine, false)), kLine, true},
        {"a compressed iTXt chunk", pngHolding(iTXt(kLine, true)), kLine, true},
        {"three chunks that agree", pngHolding(tEXt(kLine) + zTXt(kLine) + iTXt(kLine, true)), kLine, true},
        {"two of the longest chunks that agree", pngHolding(tEXt(longest) + zTXt(longest)), kLine, true},
        {"990 compressed text chunks, never inflated",
         pngHolding(times(990, zTXt(std::string(1 << 20, 'x'), std::string("Comment") + '\0')) + tEXt(kLine)), kLine,
         true},
        {"bytes after a NUL", pngHolding(tEXt(std::string(kLine) + '\0' + " mode=4")), "after a NUL", false},
        {"bytes after a NUL in an iTXt", pngHolding(iTXt(std::string(kLine) + '\0' + "x", true)), "after a NUL", false},
        {"two chunks that disagree", pngHolding(tEXt(kLine) + iTXt(kDeepLine, false)), "disagree", false},
        {"nine chunks that agree", pngHolding(times(9, tEXt(kLine))), "more than 8 location chunks", false},
        {"a 148-byte file whose chunk declares 2 GB",
         pngStart() + chunk("vpAg", Bytes(100, 1), 0x7FFFFFF0u), "cut short", false},
        {"a 46-byte file whose iTXt declares 1 GB",
         signature() + chunk("iTXt", bytesOf(kKeyword), 1u << 30),
         "damaged", false},
        {"a location chunk that declares 1 GB", pngStart() + chunk("iTXt", bytesOf(kKeyword), 1u << 30),
         "more than any location takes", false},
        {"a chunk length past the format's", pngStart() + chunk("tEXt", bytesOf(kKeyword), 0x80000000u), "damaged",
         false},
        {"a decompression bomb", pngHolding(zTXt(kLine + eightMegabytesOfBlanks)), "inflates to more than", false},
        {"compressed text cut short",
         pngHolding(chunk("zTXt", bytesOf(kKeyword) + Bytes{0} + [] {
                              Bytes d = deflated(kLine);
                              d.resize(d.size() / 2);
                              return d;
                          }())),
         "cut short", false},
        {"an unknown compression", pngHolding(chunk("zTXt", bytesOf(kKeyword) + Bytes{7} + deflated(kLine))),
         "unknown compression", false},
        {"no header chunk first", signature() + tEXt(kLine), "damaged", false},
        {"not a PNG", bytesOf("GIF89a\x01\x00\x01\x00"), "neither a PNG", false},
        {"empty", {}, "location: empty", false},
        {"two location lines", bytesOf(std::string(kLine) + "\n" + kLine + "\n"), "more than one line", false},
        {"a text file longer than any location", bytesOf(longLine), "longer than any location", false},
        // The limits at their exact boundaries, and the signature byte by byte.
        {"a text file as long as a location may be", bytesOf(longest), kLine, true},
        {"a text file one byte longer", bytesOf(longest + " "), "longer than any location", false},
        {"a location chunk one byte longer", pngHolding(tEXt(longest + " ")), "longer than any location", false},
        {"the signature alone", signature(), "damaged", false},
        {"seven bytes of the signature", [] { auto b = signature(); b.pop_back(); return b; }(), "neither a PNG",
         false},
        {"the signature with its line ending changed",
         [] { auto b = pngWith({{"mandel-location", kLine}}); b[4] = '\n'; return b; }(), "neither a PNG", false},
        {"PNG without a location", pngWith({{"Software", "an image editor"}}), "holds no location", false},
        {"PNG with a damaged location", pngWith({{"mandel-location", "mandel-location/1 mode=12"}}),
         "location is damaged", false},
        {"PNG with a corrupted chunk", corrupted(), "CRC error", false},
        {"PNG cut short in its header", [] { auto b = pngWith({}); b.resize(20); return b; }(), "damaged", false},
    };
    long long largest = 0;
    for (const auto& f : files) {
        const auto path = put(f.bytes);
        const Read read = outcome(readLocationFile(path.string()));
        EXPECT_EQ(read.ok, f.ok) << f.name << ": " << read.said;
        if (f.ok)
            EXPECT_EQ(read.said, formatLocation(*parseLocation(f.expect))) << f.name;
        else
            EXPECT_NE(read.said.find(f.expect), std::string::npos) << f.name << ": " << read.said;
        EXPECT_EQ(read.said.find('\n'), std::string::npos) << f.name;
        EXPECT_LT(read.said.size(), 400u) << f.name;

        const Bytes pngSignature = signature();
        const bool png = f.bytes.size() >= 8 && std::equal(pngSignature.begin(), pngSignature.end(), f.bytes.begin());
        const Read asPng = outcome(readPngLocation(path.string()));
        if (png)
            EXPECT_EQ(asPng.said, read.said) << f.name << ": a PNG reads the same as a PNG only";
        else
            EXPECT_FALSE(asPng.ok) << f.name << ": only a PNG is read as one";

        const Read piped = throughFifo(f.bytes);
        EXPECT_EQ(piped.ok, read.ok) << f.name << " through a FIFO: " << piped.said;
        EXPECT_EQ(piped.said, read.ok ? read.said : piped.said) << f.name << " through a FIFO";

        const long long peak = peakMemoryOfReading(path);
        EXPECT_LT(peak, 16LL << 20) << f.name << ": a process reading a location takes at most 16 MB";
        largest = std::max(largest, peak);
    }
    std::cout << "the largest peak memory of a process reading one: " << (largest >> 10) << " KiB\n";
    RecordProperty("largest_read_peak_kib", std::to_string(largest >> 10));
}

// A picture of the largest deep view there is (1E+1000000, its centre
// written with every digit) is read back whole.
TEST_F(LocationFiles, TheLongestLocationAPictureHoldsIsReadBack)
{
    const std::string digits(1000020, '7');
    const std::string line = "mandel-location/1 mode=7 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0." + digits + ",0." +
                             digits + " zoom=1000000 iterations=1000";
    const auto path = put(pngWith({{"mandel-location", line}}));
    const auto read = readLocationFile(path.string());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(formatLocation(*read), line);
}

// The window refuses what is not a regular file, without waiting for it.
TEST_F(LocationFiles, OnlyRegularFilesWhenAsked)
{
    const fs::path fifo = scratch.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    LocationReading how;
    how.regularFilesOnly = true;
    for (const fs::path& p : {fifo, fs::path("/dev/null"), scratch.path()}) {
        const auto read = readPngLocation(p.string(), how);
        ASSERT_FALSE(read) << p;
        EXPECT_NE(read.error().find("not a regular file"), std::string::npos) << read.error();
    }
}

} // namespace
} // namespace mandel
