#pragma once

#include "AtomicFile.h"
#include "Result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mandel {

// A file written in pieces to a path given by the user, so that the path
// never holds a partial file: a regular file or a new name is written
// aside and put in place whole by commit() (through a symbolic link, in
// the folder of the file it points to, keeping the link); a character
// device or a pipe is written through, in order; anything else is refused.
// Dropped before commit(), it leaves nothing behind.
class OutputFile {
public:
    // Opens the output for `path`. Overwrite::Refuse fails (code EEXIST)
    // when anything is at the path already.
    static Result<OutputFile> open(const std::string& path, Overwrite mode, FileSystemFeatures features = {});

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Whether bytes must arrive in order, each piece where the last ended
    // (a device or a pipe): writers that fill a file out of order cannot use it.
    bool inOrderOnly() const noexcept { return throughFd_ >= 0; }

    // Writes `bytes` at `offset` from the start.
    Status writeAt(std::uint64_t offset, std::span<const unsigned char> bytes);

    // Syncs the file and puts it in place under its path (or, written
    // through, closes it).
    Status commit();

private:
    OutputFile() = default;

    std::optional<PendingFile> pending_;
    std::string target_;  // where the pending file goes
    Overwrite mode_ = Overwrite::Replace;
    int throughFd_ = -1;
    std::uint64_t throughAt_ = 0;  // bytes written through so far
};

} // namespace mandel
