#pragma once

#include "AtomicFile.h"
#include "BmpWriter.h"

#include <string>

namespace mandel {

class Clock;
struct ExplorerState;

// Sets s.imeslike to "M" + YYYYMMDDhhmmss of the local clock.
void MakeImageName(ExplorerState& s, const Clock& clock);

// Writes pictures into one folder under names from the clock, never
// replacing an earlier picture and never leaving a partial file.
class SnapshotSaver {
public:
    // `features` narrows how finished files are named, for tests of the
    // fallbacks that some file systems need.
    SnapshotSaver(std::string folder, const Clock& clock, FileSystemFeatures features = {});

    // The folder pictures go to.
    const std::string& folder() const noexcept { return folder_; }

    // Makes the folder and its parents, and clears temporaries that a killed
    // save left there.
    Status prepareFolder() const;

    // Saves `image` as a 24-bit BMP named from the clock (with -2, -3, ...
    // when the name is taken: the picture is written and synced once, then
    // named), remaking a missing folder first. Gives the
    // path written, and s.imeslike holds the name used; a failure's reason
    // is "PATH: why" for the folder or file attempted, and nothing changes.
    Result<std::string> save(ImageView image, ExplorerState& s) const;

private:
    std::string folder_;
    const Clock& clock_;
    FileSystemFeatures features_;
};

} // namespace mandel
