#include "AtomicFile.h"

#include "FatMount.h"
#include "ProtectedSymlinks.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sched.h>
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

// Which errors of naming a file send a save on to the next way (a file
// system without that way), and which are real failures that must be
// reported: a mix-up either fails saves on FAT and network mounts or hides
// a full disk.
TEST(FileSystemLacks, FallsBackOnlyWhereTheFileSystemCannot)
{
    for (const int err : {EPERM, EOPNOTSUPP, ENOSYS, EINVAL, EXDEV})
        EXPECT_TRUE(fileSystemLacks(err)) << std::strerror(err);
    for (const int err : {EEXIST, EACCES, ENOSPC, EIO, EROFS, ENOENT, EDQUOT})
        EXPECT_FALSE(fileSystemLacks(err)) << std::strerror(err);
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

// Makes `p` (a link itself, not what it points to) look a week old.
void makeOld(const fs::path& p)
{
    const timespec weekAgo{::time(nullptr) - 7 * 24 * 60 * 60, 0};
    const timespec times[2] = {weekAgo, weekAgo};
    ::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// The names in `folder` that start with `prefix`.
std::vector<std::string> namesStarting(const fs::path& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(e.path().filename().string());
    return names;
}

// A writer at work in a process of its own, in a PID namespace of its own
// where one can be had (so its process number means nothing here): it
// makes a named temporary in `folder` and publishes it as `name` when told.
class OtherWriter {
public:
    OtherWriter(const fs::path& folder, const std::string& name)
    {
        int ready[2], go[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(go), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            // In a PID namespace of its own the writer is process 1 there.
            if (::unshare(CLONE_NEWPID) == 0) {
                const pid_t inner = ::fork();
                if (inner != 0) {
                    int status = 0;
                    ::waitpid(inner, &status, 0);
                    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
                }
            }
            auto file = PendingFile::create(folder.string(), {false, true, true});
            const bool written = file && file->append(std::vector<unsigned char>(1000, 6)) && file->finish();
            char c = written ? 'y' : 'n';
            (void)::write(ready[1], &c, 1);
            (void)::read(go[0], &c, 1);
            ::_exit(written && file->publishNew((folder / name).string()) ? 0 : 1);
        }
        ::close(ready[1]);
        ::close(go[0]);
        toChild_ = go[1];
        char c = 'n';
        ready_ = ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
    }
    bool ready() const noexcept { return ready_; }
    // Tells it to publish; whether it did.
    bool finish()
    {
        (void)::write(toChild_, "g", 1);
        ::close(toChild_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    bool ready_ = false;
};

// The sweep removes the temporaries of writers that are gone, judged by
// the lock a writer holds on its temporary, never by process numbers or
// age alone: a writer at work elsewhere (another PID namespace, a FAT
// mount) keeps its temporary, and other programs' files are never touched.
TEST_F(TempFolder, OnlyOurTemporariesNoWriterHoldsAreSwept)
{
    const testing::FatMount fat(root / "mnt");
    std::vector<fs::path> folders = {root / "disk"};
    fs::create_directories(folders[0]);
    if (fat.mounted())
        folders.push_back(fat.path());
    else
        std::cout << "no FAT mount here (mkfs.vfat, fusefat and the right to mount): the disk only\n";
    const std::string prefix = ".mandel-partial-";
    for (const fs::path& folder : folders) {
        const bool disk = folder == folders[0];
        // Killed writers where files cannot be unnamed leave a temporary each.
        ASSERT_TRUE(killedMidWrite(folder / "a.bmp", Overwrite::Refuse, {false, true, true}));
        const std::string stale = namesStarting(folder, prefix).at(0);
        ASSERT_TRUE(killedMidWrite(folder / "b.bmp", Overwrite::Refuse, {false, true, true}));
        std::string fresh;
        for (const auto& name : namesStarting(folder, prefix))
            if (name != stale)
                fresh = name;
        // Writers at work: one in this process, one in another.
        auto here = PendingFile::create(folder.string(), {false, true, true});
        ASSERT_TRUE(here && here->append(std::vector<unsigned char>(10, 1)));
        OtherWriter other(folder, "other.bmp");
        ASSERT_TRUE(other.ready()) << folder;
        // Other programs' files, ours of older versions (which cannot be told
        // from them), and near names.
        const std::vector<std::string> others = {
            ".mandel-config", ".mandel-backup", ".mandel-Old001", ".mandel-1-abc123", ".mandel-999999-abc123",
            prefix + "0123456789ABCDEF", prefix + "0123", "M20240309080507.bmp"};
        for (const auto& name : others)
            std::ofstream(folder / name) << "x";
        fs::create_directory(folder / (prefix + "00000000000000dd"));
        if (disk) {
            fs::create_symlink(folder / ".mandel-config", folder / (prefix + "00000000000000aa"));
            ASSERT_EQ(::mkfifo((folder / (prefix + "00000000000000ff")).c_str(), 0600), 0);
        }
        // Everything a week old, but for one killed writer's temporary just
        // made: its writer might not have locked it yet.
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename() != fresh)
                makeOld(e.path());

        removeStaleTemporaries(folder.string());

        EXPECT_FALSE(fs::exists(folder / stale)) << folder << ": a killed writer's temporary goes";
        EXPECT_TRUE(fs::exists(folder / fresh)) << folder << ": one just made stays";
        for (const auto& name : others)
            EXPECT_TRUE(fs::exists(folder / name)) << folder << ": " << name;
        ASSERT_TRUE(here->finish() && here->publishNew((folder / "here.bmp").string())) << folder;
        ASSERT_TRUE(other.finish()) << folder << ": the other writer's temporary was kept";
        EXPECT_TRUE(fs::exists(folder / "here.bmp") && fs::exists(folder / "other.bmp")) << folder;
        EXPECT_EQ(namesStarting(folder, prefix).size(), disk ? 6u : 4u)
            << folder << ": the fresh temporary and the near names (a link, a FIFO, a folder) stay";
    }
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

// Replace goes where an ordinary write by this user would: the kernel
// resolves the path, so a link of another user in a sticky world-writable
// folder is not followed under fs.protected_symlinks (as root, it made the
// program replace a root-owned file elsewhere), and a file this user could
// not write is not replaced, even in a folder where it could be renamed over.
TEST_F(TempFolder, ReplaceGoesOnlyWhereAnOrdinaryWriteWould)
{
    const testing::ProtectedSymlinks protection;
    if (!protection.on())
        GTEST_SKIP() << protection.why();
    constexpr uid_t kNobody = 65534;
    const fs::path shared = root / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    std::ofstream(root / "victim") << "root's";
    const std::vector<unsigned char> bytes(100, 4);
    const struct {
        const char* link;
        fs::path target;
        uid_t owner;
        bool followed;
    } links[] = {
        {"theirs", root / "victim", kNobody, false},
        {"theirs-to-nothing", root / "made", kNobody, false},
        {"mine", root / "mine.bmp", 0, true},
    };
    for (const auto& l : links) {
        const fs::path link = shared / l.link;
        fs::create_symlink(l.target, link);
        ASSERT_EQ(::lchown(link.c_str(), l.owner, l.owner), 0);
        const Status r = writeFileAtomically(link.string(), bytes, Overwrite::Replace);
        EXPECT_EQ(r.ok(), l.followed) << l.link << ": " << (r ? "written" : r.error());
        if (!l.followed) {
            EXPECT_EQ(r.failure().code, EACCES) << l.link;
        }
        EXPECT_TRUE(fs::is_symlink(link)) << l.link;
    }
    EXPECT_EQ(readFile(root / "victim"), std::vector<unsigned char>({'r', 'o', 'o', 't', '\'', 's'}));
    EXPECT_FALSE(fs::exists(root / "made"));
    EXPECT_EQ(readFile(root / "mine.bmp"), bytes);
    EXPECT_EQ(entriesOf(shared), 3u) << "no temporary left";

    // Another user's own read-only file, in that user's own folder.
    const fs::path theirs = root / "theirs";
    fs::create_directory(theirs);
    std::ofstream(theirs / "kept.bmp") << "kept";
    ASSERT_EQ(::chmod((theirs / "kept.bmp").c_str(), 0444), 0);
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody) | ::chown((theirs / "kept.bmp").c_str(), kNobody, kNobody), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(3);
        const Status r = writeFileAtomically((theirs / "kept.bmp").string(), bytes, Overwrite::Replace);
        ::_exit(!r && r.failure().code == EACCES ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a read-only file is not replaced";
    EXPECT_EQ(readFile(theirs / "kept.bmp").size(), 4u);
    EXPECT_EQ(entriesOf(theirs), 1u);
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
