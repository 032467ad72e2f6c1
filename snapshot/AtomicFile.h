#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mandel {

// Writes all of `bytes` to `fd`, at `offset` from the start when given (else
// where the file stands), going on after short writes and interruptions.
Status writeFully(int fd, std::span<const unsigned char> bytes, std::optional<std::uint64_t> offset = std::nullopt);

// Ways of naming a finished file that some file systems lack (FAT, exFAT,
// some network mounts). Each is tried where the one before it is missing;
// tests switch them off to run the fallbacks on any file system.
struct FileSystemFeatures {
    bool unnamedFiles = true;     // O_TMPFILE: a killed writer leaves nothing behind
    bool hardLinks = true;        // link(): a finished file takes a name only if it is free
    bool renameNoReplace = true;  // renameat2(RENAME_NOREPLACE): the same, by moving
};

// Whether the error `err` of link() or renameat2() means "this file system
// cannot do that" (FAT, exFAT, network mounts, old kernels), so the next way
// of naming a file is tried, rather than "this failed".
bool fileSystemLacks(int err);

// A file being written in a folder, invisible under its final name until it
// is complete and published, so no reader ever sees a partial file. Where
// the file system allows, it has no name at all until published, so a
// killed program leaves nothing; otherwise it is a hidden temporary named
// ".mandel-partial-" and 16 hexadecimal digits, locked (an open file
// description lock) for as long as it is written, which
// removeStaleTemporaries clears once its writer is gone. A file that is
// never published is removed when this is destroyed.
class PendingFile {
public:
    // An empty file in `folder`. New files get mode 0666 less the umask.
    static Result<PendingFile> create(const std::string& folder, FileSystemFeatures features = {});

    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    // Adds `bytes` at the end.
    Status append(std::span<const unsigned char> bytes);

    // Writes `bytes` at `offset` from the start, growing the file as needed.
    Status writeAt(std::uint64_t offset, std::span<const unsigned char> bytes);

    // Flushes what was appended to the disk; call once before publishing.
    Status finish();

    // Gives the finished file the name `path` (in the folder it was made in)
    // unless that name is taken by anything, in which case the failure's code
    // is EEXIST and the file stays pending, so another name can be tried
    // without writing it again.
    Status publishNew(const std::string& path);

    // Gives the finished file the name `path` (in the folder it was made in),
    // atomically replacing what is there; a regular file replaced keeps its
    // mode (and owner, where allowed).
    Status publishOver(const std::string& path);

private:
    PendingFile(int fd, std::string folder, std::string tempPath, FileSystemFeatures features);
    Status linkUnnamed(const std::string& path) const;
    Status nameWithoutLinks(const std::string& path);
    void discard() noexcept;

    int fd_ = -1;
    std::string folder_;
    std::string tempPath_;  // empty while the file has no name
    FileSystemFeatures features_;
};

// Whether a write may replace a file already at the path.
enum class Overwrite { Replace, Refuse };

// Writes `bytes` to `path` so that the path never holds a partial file.
// Overwrite::Refuse leaves anything already there alone (failure code
// EEXIST). Overwrite::Replace replaces a regular file atomically, keeping its
// mode; through a symbolic link it replaces the file the link points to and
// keeps the link; a character device or a pipe is written through, never
// replaced; other kinds of file are refused.
Status writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes, Overwrite mode,
                           FileSystemFeatures features = {});

// Removes the hidden temporaries that writers killed mid-write left in
// `folder`: regular files named as PendingFile names them, untouched for a
// minute, that no writer holds locked (so a write still running is never
// touched: in another PID namespace, or on another host where the file
// system passes locks on). Anything else is left alone: other programs'
// files, links, and temporaries of older versions, which cannot be told
// from them; so is every temporary where the file system cannot lock.
// Best effort.
void removeStaleTemporaries(const std::string& folder);

} // namespace mandel
