#pragma once

#include "RenderCommand.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace mandel::testing {

// What a run of mandel-render gave: exit status, standard output and error.
struct Outcome {
    int status;
    std::string out, err;
};

// Runs mandel-render in this process with `args`.
inline Outcome render(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = runRender(args, out, err);
    return {status, out.str(), err.str()};
}

// The bytes of the file at `p` (none when it cannot be read).
inline std::vector<unsigned char> readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace mandel::testing
