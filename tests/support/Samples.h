#pragma once

#include <algorithm>
#include <cstdlib>

namespace mandel::testing {

// How many of `count` random cases a slow differential test runs: all, or
// one in N where MANDEL_TEST_THIN=N (the sanitizer build, where every step
// is several times slower and a memory fault shows on few cases). Never none.
inline int samples(int count)
{
    const char* thin = std::getenv("MANDEL_TEST_THIN");
    const long n = thin ? std::strtol(thin, nullptr, 10) : 1;
    return n > 1 ? std::max(1, static_cast<int>((count + n - 1) / n)) : count;
}

} // namespace mandel::testing
