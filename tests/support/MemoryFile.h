#pragma once

#include "ByteWriter.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace mandel::testing {

// A file in memory behind a ByteWriter, which can be told to fail.
struct MemoryFile {
    std::vector<unsigned char> bytes;
    int writes = 0;
    int failAt = -1;           // the write that fails (0 = the first); -1: none
    bool sequential = true;    // every write went right after the one before

    ByteWriter writer()
    {
        return [this](std::uint64_t offset, std::span<const unsigned char> data) -> Status {
            if (writes++ == failAt)
                return fail(std::strerror(ENOSPC), ENOSPC);
            sequential = sequential && offset == bytes.size();
            if (bytes.size() < offset + data.size())
                bytes.resize(offset + data.size());
            std::memcpy(bytes.data() + offset, data.data(), data.size());
            return {};
        };
    }
};

} // namespace mandel::testing
