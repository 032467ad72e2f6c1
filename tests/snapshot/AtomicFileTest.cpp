#include "AtomicFile.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace mandel {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TempFolder : public ::testing::Test {
protected:
    std::size_t entries() const { return entriesOf(root); }
    static std::size_t entriesOf(const fs::path& folder)
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
    }
    testing::ScratchFolder scratch{"bmp"};
    const fs::path root = scratch.path();
};

// Every way of naming a finished file, down to the plain exclusive create
// that is left where a file system has neither hard links nor a rename that
// refuses to replace.
struct FeaturesCase {
    const char* name;
    FileSystemFeatures features;
};
const FeaturesCase kEveryFallback[] = {
    {"unnamed file", {}},
    {"named temporary and link", {false, true, true}},
    {"rename that refuses to replace", {false, false, true}},
    {"exclusive create", {false, false, false}},
};

// The file's permission bits.
mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Sets the umask for one scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

// Collects what is written into a FIFO, without blocking the writer.
class FifoReader {
public:
    explicit FifoReader(const fs::path& fifo) : fd_(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK))
    {
        thread_ = std::thread([this] {
            unsigned char buf[65536];
            while (true) {
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) {
                    got_.insert(got_.end(), buf, buf + n);
                    continue;
                }
                if (stop_)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    ~FifoReader()
    {
        if (thread_.joinable())
            stop();
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    // Everything written so far; the reader stops.
    std::vector<unsigned char> stop()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
        return got_;
    }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::vector<unsigned char> got_;
    std::thread thread_;
};

TEST_F(TempFolder, ReplaceWritesWholeFilesAndLeavesNoTemporaries)
{
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> first(1000, 1), second(10, 2);
    ASSERT_TRUE(writeFileAtomically(p.string(), first, Overwrite::Replace));
    ASSERT_TRUE(writeFileAtomically(p.string(), second, Overwrite::Replace));
    EXPECT_EQ(readFile(p), second);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, RefuseKeepsAnExistingFile)
{
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> first(100, 1), second(10, 2);
    ASSERT_TRUE(writeFileAtomically(p.string(), first, Overwrite::Refuse));
    const Status again = writeFileAtomically(p.string(), second, Overwrite::Refuse);
    EXPECT_FALSE(again);
    EXPECT_EQ(again.failure().code, EEXIST);
    EXPECT_EQ(readFile(p), first);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, FailuresNameAReasonAndLeaveNothing)
{
    std::ofstream(root / "file") << "x";
    fs::create_directories(root / "folder");
    const std::vector<unsigned char> bytes(10, 3);
    const fs::path bad[] = {root / "missing" / "a.bmp", root / "folder", root / "file" / "a.bmp"};
    for (const auto& p : bad) {
        for (const auto mode : {Overwrite::Replace, Overwrite::Refuse}) {
            const Status r = writeFileAtomically(p.string(), bytes, mode);
            EXPECT_FALSE(r) << p;
            EXPECT_FALSE(r.error().empty()) << p;
            // A folder takes the name: refused as taken, so a caller can try another.
            EXPECT_EQ(r.failure().code == EEXIST, mode == Overwrite::Refuse && p == root / "folder") << p;
        }
    }
    EXPECT_EQ(entries(), 2u) << "no temporary files left behind";
    EXPECT_TRUE(fs::is_directory(root / "folder"));
}

TEST_F(TempFolder, AWriteCutShortLeavesNoFileAndKeepsTheOldOne)
{
    // A file size limit makes the write fail part way, as a full disk does.
    const fs::path p = root / "a.bmp";
    const std::vector<unsigned char> old(100, 7), big(1 << 20, 1);
    ASSERT_TRUE(writeFileAtomically(p.string(), old, Overwrite::Replace));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Status a = writeFileAtomically(p.string(), big, Overwrite::Replace);
        const Status b = writeFileAtomically((root / "b.bmp").string(), big, Overwrite::Refuse);
        ::_exit(!a && !b && !a.error().empty() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(p), old);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, AWriterKilledMidWriteLeavesNothing)
{
    // Past the file size limit the kernel kills the writer (SIGXFSZ), part
    // way through the picture, as a kill from outside would.
    const std::vector<unsigned char> big(1 << 20, 1);
    for (const auto mode : {Overwrite::Replace, Overwrite::Refuse}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0}, limit{65536, 65536};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            (void)writeFileAtomically((root / "a.bmp").string(), big, mode);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
        EXPECT_EQ(entries(), 0u) << "a killed save leaves no temporary file";
    }
}

TEST_F(TempFolder, TemporariesOfKilledWritersAreRemovedOthersKept)
{
    // Where files cannot be unnamed, a killed writer leaves a hidden temporary.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit noCore{0, 0}, limit{65536, 65536};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::vector<unsigned char> big(1 << 20, 1);
        (void)writeFileAtomically((root / "a.bmp").string(), big, Overwrite::Refuse, {false, true, true});
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    ASSERT_EQ(entries(), 1u) << "the killed writer's temporary";

    const std::string mine = ".mandel-" + std::to_string(::getpid()) + "-abc123";
    const char* kept[] = {"M20240309080507.bmp", ".mandel-12x-abc123", ".mandel-1-abc", "notes.txt",
                          ".mandel-Recent", ".mandel-old-12", ".mandel-Old12"};
    std::ofstream(root / mine) << "a save of a running program";
    for (const char* name : kept)
        std::ofstream(root / name) << "x";
    // Temporaries of older builds carry no process id: only their age tells
    // that their writer is gone.
    const auto lastWeek = fs::file_time_type::clock::now() - std::chrono::hours(7 * 24);
    fs::create_directory(root / ".mandel-OldDir");
    for (const char* name : {".mandel-old-12", ".mandel-Old12", ".mandel-OldDir", ".mandel-Old001"}) {
        if (!fs::exists(root / name))
            std::ofstream(root / name) << "x";
        fs::last_write_time(root / name, lastWeek);
    }
    fs::last_write_time(root / ".mandel-Recent", fs::file_time_type::clock::now() - std::chrono::hours(20));
    removeStaleTemporaries(root.string());
    EXPECT_TRUE(fs::exists(root / mine)) << "a running writer's file stays";
    for (const char* name : kept)
        EXPECT_TRUE(fs::exists(root / name)) << name;
    EXPECT_TRUE(fs::is_directory(root / ".mandel-OldDir"));
    EXPECT_EQ(entries(), 2u + std::size(kept)) << "an older build's temporary left a week ago is removed";
}

// What a target of a replacing write is before the write, and what must be
// true of it after.
struct SpecialTargetCase {
    const char* name;
    std::function<fs::path(const fs::path& root)> make;  // returns the path written to
    bool needsRoot;
    bool written;
    std::function<void(const fs::path& root)> check;
};

TEST_F(TempFolder, ReplaceNeverReplacesWhatIsNotARegularFile)
{
    const std::vector<unsigned char> bytes(3000, 9);
    auto node = [](const fs::path& p, mode_t kind, dev_t dev) {
        return ::mknod(p.c_str(), kind | 0600, dev) == 0 ? p : fs::path();
    };
    auto isKind = [](const fs::path& p, mode_t kind) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
    };
    const SpecialTargetCase cases[] = {
        {"character device (a null device of our own)",
         [&](const fs::path& r) { return node(r / "null", S_IFCHR, makedev(1, 3)); }, true, true,
         [&](const fs::path& r) { EXPECT_TRUE(isKind(r / "null", S_IFCHR)); }},
        {"block device is refused",
         [&](const fs::path& r) { return node(r / "disk", S_IFBLK, makedev(7, 250)); }, true, false,
         [&](const fs::path& r) { EXPECT_TRUE(isKind(r / "disk", S_IFBLK)); }},
        {"socket is refused",
         [](const fs::path& r) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             const std::string p = (r / "sock").string();
             p.copy(addr.sun_path, sizeof addr.sun_path - 1);
             const bool bound = ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
             ::close(s);
             return bound ? r / "sock" : fs::path();
         },
         false, false, [&](const fs::path& r) { EXPECT_TRUE(isKind(r / "sock", S_IFSOCK)); }},
        {"link to a regular file in another folder",
         [](const fs::path& r) {
             fs::create_directories(r / "real");
             std::ofstream(r / "real" / "pic.bmp") << "old";
             ::chmod((r / "real" / "pic.bmp").c_str(), 0640);
             fs::create_directories(r / "links");
             fs::create_symlink("../real/pic.bmp", r / "links" / "one");
             fs::create_symlink("one", r / "links" / "two");
             return r / "links" / "two";
         },
         false, true,
         [&](const fs::path& r) {
             EXPECT_EQ(fs::read_symlink(r / "links" / "two"), "one") << "the links stay";
             EXPECT_EQ(fs::read_symlink(r / "links" / "one"), "../real/pic.bmp");
             EXPECT_EQ(readFile(r / "real" / "pic.bmp"), bytes) << "the file they point to is replaced";
             EXPECT_EQ(modeOf(r / "real" / "pic.bmp"), 0640u);
             EXPECT_EQ(entriesOf(r / "real"), 1u);
             EXPECT_EQ(entriesOf(r / "links"), 2u);
         }},
        {"link to a file yet to be made",
         [](const fs::path& r) {
             fs::create_directories(r / "real");
             fs::create_symlink(r / "real" / "new.bmp", r / "link");
             return r / "link";
         },
         false, true,
         [&](const fs::path& r) {
             EXPECT_TRUE(fs::is_symlink(r / "link"));
             EXPECT_EQ(readFile(r / "real" / "new.bmp"), bytes);
         }},
    };
    for (const auto& c : cases) {
        const fs::path where = root / c.name;
        fs::create_directories(where);
        const fs::path target = c.make(where);
        if (target.empty()) {
            ASSERT_TRUE(c.needsRoot) << c.name;
            std::cout << "skipped without the right to make device nodes: " << c.name << '\n';
            continue;
        }
        const Status r = writeFileAtomically(target.string(), bytes, Overwrite::Replace);
        EXPECT_EQ(r.ok(), c.written) << c.name << ": " << (r ? "" : r.error());
        c.check(where);
    }
}

TEST_F(TempFolder, ReplaceWritesThroughAPipe)
{
    const fs::path fifo = root / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<unsigned char> bytes(200000, 5);  // more than a pipe holds at once
    FifoReader reader(fifo);
    const Status r = writeFileAtomically(fifo.string(), bytes, Overwrite::Replace);
    EXPECT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(reader.stop(), bytes);
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(entries(), 1u);
}

struct ModeCase {
    const char* name;
    mode_t umask;
    int existing;  // the mode of a file already there, or -1 for none
    Overwrite mode;
    mode_t expected;
};

TEST_F(TempFolder, NewFilesFollowTheUmaskReplacedFilesKeepTheirMode)
{
    const ModeCase cases[] = {
        {"private umask, new file", 077, -1, Overwrite::Refuse, 0600},
        {"usual umask, new file", 022, -1, Overwrite::Refuse, 0644},
        {"group umask, new file by replace", 002, -1, Overwrite::Replace, 0664},
        {"a private file stays private", 022, 0600, Overwrite::Replace, 0600},
        {"a shared file stays shared", 077, 0664, Overwrite::Replace, 0664},
    };
    const std::vector<unsigned char> bytes(100, 1);
    for (const auto& f : kEveryFallback) {
        for (const auto& c : cases) {
            const fs::path p = root / "a.bmp";
            fs::remove(p);
            if (c.existing >= 0) {
                std::ofstream(p) << "old";
                ::chmod(p.c_str(), static_cast<mode_t>(c.existing));
            }
            const ScopedUmask mask(c.umask);
            const Status r = writeFileAtomically(p.string(), bytes, c.mode, f.features);
            ASSERT_TRUE(r.ok()) << f.name << ", " << c.name << ": " << r.error();
            EXPECT_EQ(modeOf(p), c.expected) << f.name << ", " << c.name;
            EXPECT_EQ(entries(), 1u) << f.name << ", " << c.name;
        }
    }
}

TEST_F(TempFolder, EveryFallbackNamesOnlyFreeNamesAndLeavesNothing)
{
    const std::vector<unsigned char> first(5000, 1), second(7000, 2);
    for (const auto& f : kEveryFallback) {
        const fs::path p = root / (std::string(f.name) + ".bmp");
        auto file = PendingFile::create(root.string(), f.features);
        ASSERT_TRUE(file.ok()) << f.name << ": " << file.error();
        ASSERT_TRUE(file->append(first).ok());
        ASSERT_TRUE(file->finish().ok());
        ASSERT_TRUE(file->publishNew(p.string()).ok()) << f.name;

        auto again = PendingFile::create(root.string(), f.features);
        ASSERT_TRUE(again.ok());
        ASSERT_TRUE(again->append(second).ok());
        ASSERT_TRUE(again->finish().ok());
        const Status taken = again->publishNew(p.string());
        EXPECT_EQ(taken.failure().code, EEXIST) << f.name;
        EXPECT_EQ(readFile(p), first) << f.name << ": a taken name is never replaced";
        const fs::path other = root / (std::string(f.name) + "-2.bmp");
        ASSERT_TRUE(again->publishNew(other.string()).ok()) << f.name << ": the same file tries the next name";
        EXPECT_EQ(readFile(other), second) << f.name;
    }
    EXPECT_EQ(entries(), 2 * std::size(kEveryFallback)) << "no temporaries left";
}

TEST_F(TempFolder, TheTemporaryIsMadeInTheTargetsFolder)
{
    // The current folder is gone: a temporary made there instead of beside
    // the target could not be made at all.
    const fs::path here = fs::current_path();
    fs::create_directories(root / "gone");
    fs::current_path(root / "gone");
    fs::remove(root / "gone");
    const std::vector<unsigned char> bytes(100, 4);
    for (const auto& f : kEveryFallback) {
        const fs::path p = root / (std::string(f.name) + ".bmp");
        const Status a = writeFileAtomically(p.string(), bytes, Overwrite::Refuse, f.features);
        const Status b = writeFileAtomically(p.string(), bytes, Overwrite::Replace, f.features);
        EXPECT_TRUE(a.ok() && b.ok()) << f.name << ": " << (a ? b.error() : a.error());
    }
    fs::current_path(here);
    EXPECT_EQ(entries(), std::size(kEveryFallback));
}

TEST_F(TempFolder, AnUnpublishedFileLeavesNothing)
{
    for (const auto& f : kEveryFallback) {
        auto file = PendingFile::create(root.string(), f.features);
        ASSERT_TRUE(file.ok());
        ASSERT_TRUE(file->append(std::vector<unsigned char>(10, 1)).ok());
    }
    EXPECT_EQ(entries(), 0u);
}

} // namespace
} // namespace mandel
