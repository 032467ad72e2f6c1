#pragma once

#include "ExplorerState.h"
#include "Location.h"
#include "LocationFile.h"
#include "OneLine.h"
#include "Result.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mandel {

// `location` if a program can draw it (a legacy view must not zoom past the
// doubles), with a failure's reason starting "what: " for --location and
// --location-file, on one line.
inline Result<Location> drawableLocation(Result<Location> location, const std::string& what)
{
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
        return fail(what + ": " + reason);
    }
    return location;
}

// The value of a --location option: a location the program can draw. A
// failure's reason completes "--location takes ...": what the option takes,
// then the field at fault and what it accepts, on one line.
inline Result<Location> locationOption(std::string_view text)
{
    return drawableLocation(parseLocation(text), "a location line");
}

// The value of a --location-file option: the location stored in a PNG this
// program wrote, or in a text file of one location line. A failure's reason
// completes "--location-file takes ...".
inline Result<Location> locationFileOption(const std::string& path, const LocationReading& how = {})
{
    return drawableLocation(readLocationFile(path, how),
                            "a PNG this program wrote or a text file of one location line; " + path);
}

// How a program reads its --location-file: a pipe or FIFO that stays
// silent is waited for, and `tell` (when set) says so in a line.
inline LocationReading locationFileReading(const std::function<void(const std::string&)>& tell, const std::string& path)
{
    LocationReading how;
    if (tell)
        how.waiting = [tell, path] {
            tell(onOneLine("--location-file: waiting for " + path +
                           " to be written to (a pipe or FIFO nobody has written to yet; Ctrl+C stops)"));
        };
    return how;
}

// Takes the location `read` gives (from --location or --location-file)
// into `slot`: a command line names one location at most, and a second is
// refused before it is read.
template <class Read>
Status takeLocation(std::optional<Location>& slot, Read read)
{
    if (slot)
        return fail("one location: --location or --location-file, once");
    Result<Location> location = read();
    if (!location)
        return location.failure();
    slot = std::move(*location);
    return {};
}

} // namespace mandel
