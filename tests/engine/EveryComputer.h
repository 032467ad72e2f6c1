#pragma once

#include "FastComputer.h"

#include <memory>
#include <vector>

namespace mandel::testing {

// Every form of the kernel for the target dispatch chooses now (a test's
// target), each on 1, 2 and 3 threads.
inline std::vector<std::unique_ptr<FastComputer>> everyComputer()
{
    std::vector<std::unique_ptr<FastComputer>> all;
    for (int variant = 0; variant < FastComputer::variantCount(); ++variant)
        for (const int threads : {1, 2, 3})
            all.push_back(std::make_unique<FastComputer>(FastComputerOptions{threads, false, variant}));
    return all;
}

} // namespace mandel::testing
