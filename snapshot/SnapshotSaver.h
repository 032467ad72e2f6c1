#pragma once

#include "BmpWriter.h"

#include <string>

namespace mandel {

class Clock;
struct ExplorerState;

// Sets s.imeslike to "M" + YYYYMMDDhhmmss of the local clock.
void MakeImageName(ExplorerState& s, const Clock& clock);

// What a save did: the file written, or why nothing was.
struct SaveOutcome {
    bool ok = false;
    std::string path;   // the file written (on success) or attempted
    std::string error;  // the reason, for the user; empty on success
};

// Writes pictures into one folder under names from the clock, never
// replacing an earlier picture and never leaving a partial file.
class SnapshotSaver {
public:
    SnapshotSaver(std::string folder, const Clock& clock);

    // The folder pictures go to.
    const std::string& folder() const noexcept { return folder_; }

    // Makes the folder and its parents; returns the reason on failure, else "".
    std::string prepareFolder() const;

    // Saves `image` as a 24-bit BMP named from the clock (with -2, -3, ...
    // when the name is taken), remaking a missing folder first. On success
    // s.imeslike holds the name used; on failure nothing else changes.
    SaveOutcome save(const RgbImage& image, ExplorerState& s) const;

private:
    std::string folder_;
    const Clock& clock_;
};

} // namespace mandel
