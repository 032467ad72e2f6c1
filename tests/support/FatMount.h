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
        // Built by appending: GCC 12 warns (-Wrestrict, wrongly) on "'" + string here.
        auto inQuotes = [](const std::filesystem::path& p) {
            std::string q = "'";
            q += p.string();
            q += '\'';
            return q;
        };
        const std::string image = inQuotes(folder / "fat.img"), point = inQuotes(point_);
        std::string make = "truncate -s 8M ";
        make += image;
        make += " && mkfs.vfat ";
        make += image;
        make += " >/dev/null 2>&1 && fusefat -o rw+ ";
        make += image;
        make += " ";
        make += point;
        make += " >/dev/null 2>&1 && mountpoint -q ";
        make += point;
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
