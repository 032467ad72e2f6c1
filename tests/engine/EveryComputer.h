#pragma once

#include "FastComputer.h"

#include <memory>
#include <vector>

namespace mandel::testing {

// Every target this machine runs, each on 1, 2 and 3 threads.
inline std::vector<std::unique_ptr<FastComputer>> everyComputer()
{
    std::vector<std::unique_ptr<FastComputer>> all;
    for (const std::int64_t target : FastComputer::availableTargets())
        for (const int threads : {1, 2, 3})
            all.push_back(std::make_unique<FastComputer>(FastComputerOptions{threads, target}));
    return all;
}

} // namespace mandel::testing
