#include "LocationFile.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mandel {

namespace {

// A location line is short; a text file much longer than one is not one.
constexpr std::size_t kMaxLocationFile = 64 * 1024;

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Result<File> openForReading(const std::string& path)
{
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return fail(std::strerror(errno), errno);
    return f;
}

// What reading a PNG's chunks up to its image data found.
struct PngScan {
    std::string error;          // libpng's reason, when it failed
    bool hasLocation = false;
    std::string location;
};

void onError(png_structp png, png_const_charp message)
{
    static_cast<PngScan*>(png_get_error_ptr(png))->error = message ? message : "unreadable";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Reads up to the image data of the PNG in `f`; false when libpng failed.
// Only plain pointers live in this frame: an error jumps back into it.
bool scanPng(std::FILE* f, png_structp png, png_infop info, PngScan* scan)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, f);
    // A damaged text chunk is an error, not something to skip quietly.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i) {
        if (texts[i].key && kPngLocationKeyword == texts[i].key) {
            scan->hasLocation = true;
            scan->location.assign(texts[i].text ? texts[i].text : "", texts[i].text ? texts[i].text_length : 0);
        }
    }
    return true;
}

Result<Location> pngLocation(std::FILE* f)
{
    PngScan scan;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &scan, &onError, &onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail("out of memory", ENOMEM);
    }
    const bool read = scanPng(f, png, info, &scan);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!read)
        return fail("the PNG is damaged (" + scan.error + ")", EINVAL);
    if (!scan.hasLocation)
        return fail("the PNG holds no location (only pictures this program wrote do)", EINVAL);
    auto location = parseLocation(scan.location);
    if (!location)
        return fail("the PNG's location is damaged: " + location.error(), EINVAL);
    return location;
}

bool startsLikePng(std::FILE* f)
{
    unsigned char head[sizeof kPngSignature] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::rewind(f);
    return got == sizeof head && std::memcmp(head, kPngSignature, sizeof head) == 0;
}

} // namespace

Result<Location> readPngLocation(const std::string& path)
{
    auto f = openForReading(path);
    if (!f)
        return f.failure();
    if (!startsLikePng(f->get()))
        return fail("not a PNG file", EINVAL);
    return pngLocation(f->get());
}

Result<Location> readLocationFile(const std::string& path)
{
    auto f = openForReading(path);
    if (!f)
        return f.failure();
    if (startsLikePng(f->get()))
        return pngLocation(f->get());
    std::string text(kMaxLocationFile + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f->get()));
    if (std::ferror(f->get()))
        return fail(std::strerror(EIO), EIO);
    if (text.size() > kMaxLocationFile || text.find('\0') != std::string::npos)
        return fail("neither a PNG this program wrote nor a location line", EINVAL);
    auto location = parseLocation(text);
    if (!location)
        return fail("neither a PNG this program wrote nor a location line (" + location.error() + ")", EINVAL);
    return location;
}

} // namespace mandel
