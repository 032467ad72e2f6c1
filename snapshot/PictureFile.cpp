#include "PictureFile.h"

#include "AtomicFile.h"
#include "BmpBandWriter.h"
#include "BmpWriter.h"
#include "FirstFreeName.h"
#include "ImageSurface.h"
#include "LocationPicture.h"
#include "LocationFile.h"
#include "OutputFile.h"
#include "PngBandWriter.h"
#include "PosterMapping.h"
#include "Version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <optional>

namespace mandel {

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the bytes of a picture go, and how the finished file is named.
class Destination {
public:
    static Result<Destination> open(const std::string& path, FileNaming naming)
    {
        Destination d;
        d.path_ = path;
        if (naming == FileNaming::Replace) {
            auto out = OutputFile::open(path, Overwrite::Replace);
            if (!out)
                return out.failure();
            d.output_.emplace(std::move(*out));
        } else {
            auto file = PendingFile::create(folderOf(path));
            if (!file)
                return file.failure();
            d.pending_.emplace(std::move(*file));
        }
        return d;
    }

    bool inOrderOnly() const noexcept { return output_ && output_->inOrderOnly(); }

    ByteWriter writer()
    {
        return [this](std::uint64_t offset, std::span<const unsigned char> bytes) {
            return output_ ? output_->writeAt(offset, bytes) : pending_->writeAt(offset, bytes);
        };
    }

    // Puts the finished file in place; gives the path it took.
    Result<std::string> commit()
    {
        if (output_) {
            if (Status s = output_->commit(); !s)
                return s.failure();
            return path_;
        }
        if (Status s = pending_->finish(); !s)
            return s.failure();
        return publishUnderFirstFreeName(*pending_, path_);
    }

private:
    std::string path_;
    std::optional<OutputFile> output_;
    std::optional<PendingFile> pending_;
};

// Names the file `destination` holds once `written` says all went in; a
// failure reads "PATH: why", and the unfinished file goes with `destination`.
Result<std::string> finishFile(const std::string& path, Destination& destination, const Status& written)
{
    Result<std::string> named = written ? destination.commit() : Result<std::string>(written.failure());
    if (!named)
        return fail(path + ": " + named.error(), named.failure().code);
    return named;
}

// The text chunks of a PNG of `request`: its location (with the poster's
// size, if any) and the program that wrote it.
std::vector<PngText> pngTexts(const PictureRequest& request)
{
    return {{std::string(kPngLocationKeyword), formatLocation(request.location)},
            {std::string(kPngSoftwareKeyword), request.software + " " + std::string(kVersion)}};
}

// The 596 x 596 picture's rows, handed to a sink a band at a time.
Status writeImageRows(ImageView image, BandSink& sink)
{
    constexpr int kBand = 64;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * kBand * 3);
    for (int r0 = 0; r0 < image.height; r0 += kBand) {
        const int rows = std::min(kBand, image.height - r0);
        std::uint8_t* out = rgb.data();
        for (int r = r0; r < r0 + rows; ++r)
            for (int c = 0; c < image.width; ++c) {
                const Colour colour = image.pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(c)];
                *out++ = static_cast<std::uint8_t>(redOf(colour));
                *out++ = static_cast<std::uint8_t>(greenOf(colour));
                *out++ = static_cast<std::uint8_t>(blueOf(colour));
            }
        if (Status s = sink.writeRows(rgb.data(), rows); !s)
            return s;
    }
    return {};
}

} // namespace


Result<ImageFormat> imageFormatFor(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return ImageFormat::Bmp;
    if (dot + 1 == path.size())
        return fail("the file name must end in .png or .bmp", EINVAL);
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (extension == "png")
        return ImageFormat::Png;
    if (extension == "bmp")
        return ImageFormat::Bmp;
    return fail("the file name must end in .png or .bmp, not ." + path.substr(dot + 1), EINVAL);
}

Result<std::string> writePictureFile(const std::string& path, const PictureRequest& request,
                                     const PictureFileHooks& hooks)
{
    auto failed = [&path](const Failure& why) { return fail(path + ": " + why.reason, why.code); };
    const Location& location = request.location;
    const PictureSize size = location.size.value_or(PictureSize{kDrawableSize, kDrawableSize});
    if (Status fits = checkPictureSize(size); !fits)
        return failed(fits.failure());
    if (request.format == ImageFormat::Bmp)
        if (Status fits = BmpBandWriter::fits(size); !fits)
            return failed(fits.failure());

    // A deep view's reference orbit first: it may take long, and a view
    // whose orbit does not fit in memory is refused before any file is made.
    DrawControl control;
    control.progress = hooks.progress;
    control.stop = hooks.stop;
    Result<LocationPicture> picture = LocationPicture::prepare(location, request.orbit, control);
    if (!picture)
        return failed(picture.failure());

    if (!location.size) {
        ImageSurface surface;
        if (Status drawn = picture->drawWindowPicture(surface, control); !drawn)
            return failed(drawn.failure());
        return writeImageFile(path, surface.view(), request);
    }
    auto destination = Destination::open(path, request.naming);
    if (!destination)
        return failed(destination.failure());
    Status drawn;
    if (request.format == ImageFormat::Bmp) {
        if (destination->inOrderOnly())
            return failed(fail("a BMP poster is written bottom row first and cannot go to a pipe or device; "
                               "write a PNG instead",
                               ESPIPE));
        BmpBandWriter bmp(size, destination->writer());
        drawn = picture->drawPoster(bmp, control);
    } else {
        PngBandWriter png(size, pngTexts(request), destination->writer(), picture->pool());
        drawn = picture->drawPoster(png, control);
    }
    return finishFile(path, *destination, drawn);
}

Result<std::string> writeImageFile(const std::string& path, ImageView image, const PictureRequest& request)
{
    auto destination = Destination::open(path, request.naming);
    if (!destination)
        return fail(path + ": " + destination.error(), destination.failure().code);
    Status written;
    if (request.format == ImageFormat::Bmp) {
        // Small enough to make whole, which also lets it go down a pipe.
        written = destination->writer()(0, encodeBmp(image));
    } else {
        PictureRequest unsized = request;
        unsized.location.size.reset();
        PngBandWriter png(PictureSize{image.width, image.height}, pngTexts(unsized), destination->writer(), nullptr);
        written = writeImageRows(image, png);
    }
    return finishFile(path, *destination, written);
}

} // namespace mandel
