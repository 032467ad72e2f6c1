#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace mandel::testing {

// A small FAT file system, made in an image file under `folder` and mounted
// through FUSE at folder/fat: a real file system without hard links,
// unnamed files or a rename that refuses to replace, as on a USB stick.
// Needs mkfs.vfat, fusefat and the right to mount; mounted() says whether
// it could be had here.
class FatMount {
public:
    explicit FatMount(const std::filesystem::path& folder) : point_(folder / "fat")
    {
        std::filesystem::create_directories(point_);
        const std::string image = "'" + (folder / "fat.img").string() + "'", point = "'" + point_.string() + "'";
        const std::string make = "truncate -s 8M " + image + " && mkfs.vfat " + image + " >/dev/null 2>&1 && fusefat -o rw+ " +
                                 image + " " + point + " >/dev/null 2>&1 && mountpoint -q " + point;
        mounted_ = std::system(make.c_str()) == 0;
    }
    ~FatMount()
    {
        if (mounted_)
            (void)std::system(("umount '" + point_.string() + "' 2>/dev/null").c_str());
    }
    FatMount(const FatMount&) = delete;
    FatMount& operator=(const FatMount&) = delete;

    bool mounted() const noexcept { return mounted_; }
    // The mounted file system's root folder.
    const std::filesystem::path& path() const noexcept { return point_; }

private:
    std::filesystem::path point_;
    bool mounted_ = false;
};

} // namespace mandel::testing
