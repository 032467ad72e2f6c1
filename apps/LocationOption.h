#pragma once

#include "ExplorerState.h"
#include "Location.h"
#include "Result.h"

#include <string>
#include <string_view>

namespace mandel {

// The value of a --location option: a location the program can draw. A
// failure's reason completes "--location takes ...": what the option takes,
// then the field at fault and what it accepts, on one line.
inline Result<Location> locationOption(std::string_view text)
{
    Result<Location> location = parseLocation(text);
    Status drawable = location ? Status() : Status(location.failure());
    if (location && !location->deep) {
        const Result<ExplorerState> state = legacyStateOf(*location);
        if (!state)
            drawable = state.failure();
    }
    if (!drawable) {
        // The reader's reasons start with "location: ", which the option's
        // name already says.
        std::string reason = drawable.error();
        constexpr std::string_view said = "location: ";
        if (reason.rfind(said, 0) == 0)
            reason.erase(0, said.size());
        return fail("a location line: " + reason);
    }
    return location;
}

} // namespace mandel
