#include "SnapshotSaver.h"

#include "Clock.h"
#include "Directories.h"
#include "ExplorerState.h"

#include <cerrno>

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

Status SnapshotSaver::prepareFolder() const
{
    return makeDirectories(folder_);
}

Result<std::string> SnapshotSaver::save(const RgbImage& image, ExplorerState& s) const
{
    if (const Status made = prepareFolder(); !made)
        return fail(folder_ + ": " + made.error(), made.failure().code);
    ExplorerState named = s;
    MakeImageName(named, clock_);
    const auto bytes = encodeBmp(image);
    std::string path;
    for (int k = 1; k < 10000; ++k) {
        const std::string name = k == 1 ? named.imeslike : named.imeslike + "-" + std::to_string(k);
        path = folder_ + "/" + name + ".bmp";
        const Status written = writeFileAtomically(path, bytes, Overwrite::Refuse);
        if (written) {
            s.imeslike = name;
            return path;
        }
        if (written.failure().code != EEXIST)
            return fail(path + ": " + written.error(), written.failure().code);
    }
    return fail(path + ": too many pictures with this name");
}

} // namespace mandel
