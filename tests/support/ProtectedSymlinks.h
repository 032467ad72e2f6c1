#pragma once

#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <string>
#include <unistd.h>

namespace mandel::testing {

// The kernel's protection of links in sticky world-writable folders
// (fs.protected_symlinks = 1: a link there is followed only by its owner or
// the folder's), on while this lives. Where it is off and this process may
// set it (root, outside a container that holds /proc/sys read-only), it is
// turned on and put back at the end; the setting is the kernel's, not a
// namespace's, and 1 is what most systems run with. Tests that need it
// take turns (a lock on a file in /tmp), so that one putting it back does
// not pull it from under another. on() says whether it could be had; why()
// says why not.
class ProtectedSymlinks {
public:
    ProtectedSymlinks()
    {
        turn_ = ::open("/tmp/mandel-protected-symlinks.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (turn_ >= 0)
            (void)::flock(turn_, LOCK_EX);
        if (::geteuid() != 0) {
            why_ = "needs root, to make a link owned by another user";
            return;
        }
        const std::string was = read();
        if (was == "1") {
            on_ = true;
            return;
        }
        if (was.empty() || !write("1") || read() != "1") {
            why_ = "fs.protected_symlinks is off and cannot be turned on here";
            return;
        }
        restore_ = was;
        on_ = true;
    }
    ~ProtectedSymlinks()
    {
        if (!restore_.empty())
            (void)write(restore_);
        if (turn_ >= 0)
            ::close(turn_);
    }
    ProtectedSymlinks(const ProtectedSymlinks&) = delete;
    ProtectedSymlinks& operator=(const ProtectedSymlinks&) = delete;

    bool on() const noexcept { return on_; }
    const std::string& why() const noexcept { return why_; }

private:
    static constexpr const char* kPath = "/proc/sys/fs/protected_symlinks";
    static std::string read()
    {
        std::ifstream in(kPath);
        std::string value;
        in >> value;
        return value;
    }
    static bool write(const std::string& value)
    {
        std::ofstream out(kPath);
        out << value << '\n';
        out.flush();
        return static_cast<bool>(out);
    }

    int turn_ = -1;
    bool on_ = false;
    std::string restore_;
    std::string why_;
};

} // namespace mandel::testing
