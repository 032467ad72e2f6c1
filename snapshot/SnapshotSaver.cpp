#include "SnapshotSaver.h"

#include "Clock.h"
#include "Directories.h"
#include "ExplorerState.h"

namespace mandel {

void MakeImageName(ExplorerState& s, const Clock& clock)
{
    const std::string date = clock.dateText();
    const std::string time = clock.timeText();
    // Slices of the MM-DD-YYYY and HH:MM:SS texts, as the names were always made.
    const std::string stamp = date.substr(6, 4) + date.substr(0, 2) + date.substr(3, 2) +
                              time.substr(0, 2) + time.substr(3, 2) + time.substr(6, 2);
    s.imeslike = "M" + stamp;
}

SnapshotSaver::SnapshotSaver(std::string folder, const Clock& clock)
    : folder_(std::move(folder)), clock_(clock)
{
}

std::string SnapshotSaver::prepareFolder() const
{
    return makeDirectories(folder_);
}

SaveOutcome SnapshotSaver::save(const RgbImage& image, ExplorerState& s) const
{
    SaveOutcome outcome;
    if (const std::string why = prepareFolder(); !why.empty()) {
        outcome.path = folder_;
        outcome.error = why;
        return outcome;
    }
    ExplorerState named = s;
    MakeImageName(named, clock_);
    const auto bytes = encodeBmp(image);
    for (int k = 1; k < 10000; ++k) {
        const std::string name = k == 1 ? named.imeslike : named.imeslike + "-" + std::to_string(k);
        outcome.path = folder_ + "/" + name + ".bmp";
        const WriteResult r = writeFileAtomically(outcome.path, bytes, Overwrite::Refuse);
        if (r) {
            s.imeslike = name;
            outcome.ok = true;
            return outcome;
        }
        if (!r.exists) {
            outcome.error = r.error;
            return outcome;
        }
    }
    outcome.error = "too many pictures with this name";
    return outcome;
}

} // namespace mandel
