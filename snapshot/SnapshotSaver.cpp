#include "SnapshotSaver.h"

#include "Clock.h"
#include "Directories.h"
#include "FirstFreeName.h"
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

SnapshotSaver::SnapshotSaver(std::string folder, const Clock& clock, FileSystemFeatures features)
    : folder_(std::move(folder)), clock_(clock), features_(features)
{
}

Status SnapshotSaver::prepareFolder() const
{
    Status made = makeDirectories(folder_);
    if (made)
        removeStaleTemporaries(folder_);
    return made;
}

Result<std::string> SnapshotSaver::save(ImageView image, ExplorerState& s) const
{
    if (const Status made = prepareFolder(); !made)
        return fail(folder_ + ": " + made.error(), made.failure().code);
    ExplorerState named = s;
    MakeImageName(named, clock_);
    std::string path = folder_ + "/" + named.imeslike + ".bmp";
    auto failed = [&path](const Status& why) { return fail(path + ": " + why.error(), why.failure().code); };
    auto file = PendingFile::create(folder_, features_);
    if (!file)
        return failed(file.failure());
    if (const Status s1 = file->append(encodeBmp(image)); !s1)
        return failed(s1);
    if (const Status s2 = file->finish(); !s2)
        return failed(s2);
    Result<std::string> taken = publishUnderFirstFreeName(*file, path);
    if (!taken)
        return failed(taken.failure());
    // The name without its folder and extension: M20240309080507-2.
    s.imeslike = taken->substr(folder_.size() + 1, taken->size() - folder_.size() - 1 - 4);
    return taken;
}

} // namespace mandel
