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
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

std::size_t entriesOf(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

class TempFolder : public ::testing::Test {
protected:
    std::size_t entries() const { return entriesOf(root); }
    testing::ScratchFolder scratch{"bmp"};
    const fs::path root = scratch.path();
};

// Every way of naming a finished file, down to the plain exclusive create
// left where a file system has neither hard links nor a rename that refuses to replace.
const std::pair<const char*, FileSystemFeatures> kEveryFallback[] = {
    {"unnamed file", {}},
    {"named temporary and link", {false, true, true}},
    {"rename that refuses to replace", {false, false, true}},
    {"exclusive create", {false, false, false}},
};

mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

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

// A writer the kernel kills (SIGXFSZ) part way through a 1 MiB file, as a
// kill from outside would.
bool killedMidWrite(const fs::path& p, Overwrite mode, FileSystemFeatures features = {})
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0}, limit{65536, 65536};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        (void)writeFileAtomically(p.string(), std::vector<unsigned char>(1 << 20, 1), mode, features);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ;
}

TEST_F(TempFolder, AWriterKilledMidWriteLeavesNothing)
{
    for (const auto mode : {Overwrite::Replace, Overwrite::Refuse}) {
        ASSERT_TRUE(killedMidWrite(root / "a.bmp", mode));
        EXPECT_EQ(entries(), 0u) << "a killed save leaves no temporary file";
    }
}

TEST_F(TempFolder, TemporariesOfKilledWritersAreRemovedOthersKept)
{
    // Where files cannot be unnamed, a killed writer leaves a hidden temporary.
    ASSERT_TRUE(killedMidWrite(root / "a.bmp", Overwrite::Refuse, {false, true, true}));
    ASSERT_EQ(entries(), 1u) << "the killed writer's temporary";
    // Temporaries of older builds carry no process id: only their age tells
    // that their writer is gone.
    const struct {
        std::string name;
        int hoursOld;
        bool kept;
    } files[] = {
        {".mandel-" + std::to_string(::getpid()) + "-abc123", 0, true},  // a running writer's
        {".mandel-Old001", 7 * 24, false},
        {".mandel-Recent", 20, true},
        {".mandel-Old12", 7 * 24, true},
        {".mandel-old-12", 7 * 24, true},
        {".mandel-12x-abc123", 0, true},
        {".mandel-1-abc", 0, true},
        {"M20240309080507.bmp", 7 * 24, true},
    };
    for (const auto& f : files) {
        std::ofstream(root / f.name) << "x";
        fs::last_write_time(root / f.name, fs::file_time_type::clock::now() - std::chrono::hours(f.hoursOld));
    }
    fs::create_directory(root / ".mandel-OldDir");
    fs::last_write_time(root / ".mandel-OldDir", fs::file_time_type::clock::now() - std::chrono::hours(7 * 24));
    removeStaleTemporaries(root.string());
    for (const auto& f : files)
        EXPECT_EQ(fs::exists(root / f.name), f.kept) << f.name;
    EXPECT_TRUE(fs::is_directory(root / ".mandel-OldDir"));
    EXPECT_EQ(entries(), std::size(files)) << "the killed writer's temporary is removed";
}

TEST_F(TempFolder, ReplaceNeverReplacesWhatIsNotARegularFile)
{
    const std::vector<unsigned char> bytes(3000, 9);
    // A character device of our own (the null device) is written through;
    // what cannot be written through is refused. Devices need root.
    const struct {
        const char* name;
        mode_t kind;
        dev_t device;
        bool written;
    } nodes[] = {{"null", S_IFCHR, makedev(1, 3), true}, {"disk", S_IFBLK, makedev(7, 250), false},
                 {"socket", S_IFSOCK, 0, false}};
    for (const auto& n : nodes) {
        const fs::path p = root / n.name;
        if (::mknod(p.c_str(), n.kind | 0600, n.device) != 0) {
            std::cout << "skipped without the right to make device nodes: " << n.name << '\n';
            continue;
        }
        const Status r = writeFileAtomically(p.string(), bytes, Overwrite::Replace);
        EXPECT_EQ(r.ok(), n.written) << n.name << ": " << (r ? "" : r.error());
        struct stat st {};
        EXPECT_TRUE(::lstat(p.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == n.kind) << n.name << " was replaced";
    }

    // Links stay links: the file at their end is replaced, keeping its mode,
    // or made where a link points at nothing yet.
    fs::create_directories(root / "real");
    fs::create_directories(root / "links");
    std::ofstream(root / "real" / "pic.bmp") << "old";
    ::chmod((root / "real" / "pic.bmp").c_str(), 0640);
    fs::create_symlink("../real/pic.bmp", root / "links" / "one");
    fs::create_symlink("one", root / "links" / "two");
    fs::create_symlink(root / "real" / "new.bmp", root / "links" / "dangling");
    for (const char* link : {"two", "dangling"}) {
        const Status r = writeFileAtomically((root / "links" / link).string(), bytes, Overwrite::Replace);
        EXPECT_TRUE(r.ok()) << link << ": " << (r ? "" : r.error());
    }
    EXPECT_EQ(fs::read_symlink(root / "links" / "two"), "one");
    EXPECT_EQ(fs::read_symlink(root / "links" / "one"), "../real/pic.bmp");
    EXPECT_TRUE(fs::is_symlink(root / "links" / "dangling"));
    EXPECT_EQ(readFile(root / "real" / "pic.bmp"), bytes);
    EXPECT_EQ(readFile(root / "real" / "new.bmp"), bytes);
    EXPECT_EQ(modeOf(root / "real" / "pic.bmp"), 0640u);
    EXPECT_EQ(entriesOf(root / "real"), 2u);
    EXPECT_EQ(entriesOf(root / "links"), 3u);
}

TEST_F(TempFolder, ReplaceWritesThroughAPipe)
{
    const fs::path fifo = root / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<unsigned char> bytes(200000, 5);  // more than a pipe holds at once
    // The read end is open before the write, and drained on another thread.
    const int in = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::atomic<bool> written{false};
    std::vector<unsigned char> got;
    std::thread reader([&] {
        unsigned char buf[65536];
        for (ssize_t n; (n = ::read(in, buf, sizeof buf)) > 0 || !written;)
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    const Status r = writeFileAtomically(fifo.string(), bytes, Overwrite::Replace);
    written = true;
    reader.join();
    ::close(in);
    EXPECT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TempFolder, NewFilesFollowTheUmaskReplacedFilesKeepTheirMode)
{
    const struct {
        const char* name;
        mode_t umask;
        int existing;  // the mode of a file already there, or -1 for none
        Overwrite mode;
        mode_t expected;
    } cases[] = {
        {"private umask, new file", 077, -1, Overwrite::Refuse, 0600},
        {"usual umask, new file", 022, -1, Overwrite::Refuse, 0644},
        {"group umask, new file by replace", 002, -1, Overwrite::Replace, 0664},
        {"a private file stays private", 022, 0600, Overwrite::Replace, 0600},
        {"a shared file stays shared", 077, 0664, Overwrite::Replace, 0664},
    };
    const mode_t oldMask = ::umask(022);
    for (const auto& [fallback, features] : kEveryFallback) {
        for (const auto& c : cases) {
            const fs::path p = root / "a.bmp";
            fs::remove(p);
            if (c.existing >= 0) {
                std::ofstream(p) << "old";
                ::chmod(p.c_str(), static_cast<mode_t>(c.existing));
            }
            ::umask(c.umask);
            const Status r = writeFileAtomically(p.string(), std::vector<unsigned char>(100, 1), c.mode, features);
            ASSERT_TRUE(r.ok()) << fallback << ", " << c.name << ": " << r.error();
            EXPECT_EQ(modeOf(p), c.expected) << fallback << ", " << c.name;
            EXPECT_EQ(entries(), 1u) << fallback << ", " << c.name;
        }
    }
    ::umask(oldMask);
}

TEST_F(TempFolder, EveryFallbackNamesOnlyFreeNamesAndLeavesNothing)
{
    const std::vector<unsigned char> first(5000, 1), second(7000, 2);
    for (const auto& [fallback, features] : kEveryFallback) {
        const fs::path p = root / (std::string(fallback) + ".bmp"), other = root / (std::string(fallback) + "-2.bmp");
        auto file = PendingFile::create(root.string(), features);
        ASSERT_TRUE(file.ok()) << fallback << ": " << file.error();
        ASSERT_TRUE(file->append(first).ok() && file->finish().ok());
        ASSERT_TRUE(file->publishNew(p.string()).ok()) << fallback;

        auto again = PendingFile::create(root.string(), features);
        ASSERT_TRUE(again.ok() && again->append(second).ok() && again->finish().ok());
        EXPECT_EQ(again->publishNew(p.string()).failure().code, EEXIST) << fallback;
        EXPECT_EQ(readFile(p), first) << fallback << ": a taken name is never replaced";
        ASSERT_TRUE(again->publishNew(other.string()).ok()) << fallback << ": the same file tries the next name";
        EXPECT_EQ(readFile(other), second) << fallback;

        // One never published goes when dropped.
        ASSERT_TRUE(PendingFile::create(root.string(), features)->append(first).ok());
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
    for (const auto& [fallback, features] : kEveryFallback) {
        const std::string p = (root / (std::string(fallback) + ".bmp")).string();
        const std::vector<unsigned char> bytes(100, 4);
        const Status a = writeFileAtomically(p, bytes, Overwrite::Refuse, features);
        const Status b = writeFileAtomically(p, bytes, Overwrite::Replace, features);
        EXPECT_TRUE(a.ok() && b.ok()) << fallback << ": " << (a ? b.error() : a.error());
    }
    fs::current_path(here);
    EXPECT_EQ(entries(), std::size(kEveryFallback));
}

} // namespace
} // namespace mandel
