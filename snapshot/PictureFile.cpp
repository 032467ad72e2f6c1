#include "PictureFile.h"

#include "AtomicFile.h"
#include "BmpBandWriter.h"
#include "BmpWriter.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "ImageSurface.h"
#include "LocationFile.h"
#include "Memory.h"
#include "OutputFile.h"
#include "PngBandWriter.h"
#include "PosterMapping.h"
#include "PosterRenderer.h"
#include "ReferenceOrbit.h"
#include "Renderer.h"
#include "ThreadPool.h"
#include "Version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <optional>

namespace mandel {

namespace {

// The share of a deep picture's progress its reference orbit stands for:
// its length is unknown until it ends, so it gets a fixed slice.
constexpr double kOrbitShare = 0.1;

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// `path` with "-k" before its extension: M20261209-3840x2160-2.png.
std::string numberedName(const std::string& path, int k)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    std::string name = hasExtension ? path.substr(0, dot) : path;
    name.append("-").append(std::to_string(k));
    if (hasExtension)
        name.append(path, dot);
    return name;
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
        for (int k = 1; k < 10000; ++k) {
            const std::string name = k == 1 ? path_ : numberedName(path_, k);
            const Status published = pending_->publishNew(name);
            if (published)
                return name;
            if (published.failure().code != EEXIST)
                return published.failure();
        }
        return fail("too many pictures with this name", EEXIST);
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

// Pixels from the centre of the poster's farthest pixel, for the deep
// computer's approximation tables.
double farthestOffset(const ExplorerState& view, PictureSize size)
{
    const PosterMapping mapping(view, size);
    const double dx = std::max(std::abs(mapping.pictureX(0) - kDeepCentrePixel),
                               std::abs(mapping.pictureX(size.width - 1) - kDeepCentrePixel));
    const double dy = std::max(std::abs(mapping.pictureY(0) - kDeepCentrePixel),
                               std::abs(mapping.pictureY(size.height - 1) - kDeepCentrePixel));
    return std::hypot(dx, dy);
}

// The window's own 596 x 596 picture, drawn as the window draws it.
Status drawWindowPicture(ImageSurface& surface, const ExplorerState& state, DeepComputer* deep,
                         const PictureFileHooks& hooks)
{
    Renderer renderer(makeFastComputer());
    DrawHooks draw;
    draw.yield = [&hooks] { return !(hooks.stop && hooks.stop->load()); };
    const bool drawn = deep ? renderer.DrawDeep(*deep, state, surface, draw) : renderer.DrawFractal(state, surface, draw);
    return drawn ? Status() : Status(fail("stopped", ECANCELED));
}

// Draws the poster of `state` at `size` (of the deep view of `deep` when
// set) into `sink`, reporting progress from `shareBefore` on.
Status drawPoster(BandSink& sink, PictureSize size, const ExplorerState& state, DeepComputer* deep,
                  const PictureFileHooks& hooks, double shareBefore)
{
    auto stopped = [&hooks] { return hooks.stop && hooks.stop->load(); };
    std::unique_ptr<FieldComputer> computer;
    std::optional<PosterRenderer> renderer;
    if (deep) {
        renderer.emplace(*deep);
    } else {
        computer = makeFastComputer();
        renderer.emplace(*computer);
    }
    PosterHooks posterHooks;
    posterHooks.progress = [&](int rowsDone) {
        if (stopped())
            return false;
        const double share = shareBefore + (1 - shareBefore) * rowsDone / size.height;
        return !hooks.progress || hooks.progress(share);
    };
    return renderer->render(state, size, sink, posterHooks);
}

} // namespace

Status deepViewFits(const DeepCentre& view, std::size_t budget)
{
    // Seven numbers of the orbit's precision, with room for MPFR's limbs.
    const std::size_t numbers = 7 * (static_cast<std::size_t>(precisionFor(view.zoom)) / 8 + 64);
    const std::size_t needed = DeepComputer::bytesFor(view.iterations) + numbers;
    if (budget == 0 || needed <= budget)
        return {};
    auto megabytes = [](std::size_t bytes) { return std::to_string((bytes + (std::size_t{1} << 20) - 1) >> 20); };
    return fail("a cap of " + std::to_string(view.iterations) + " iterations needs about " + megabytes(needed) +
                    " MB for the reference orbit and its tables, and at most " + megabytes(budget) +
                    " MB may be used here (three quarters of the least of the memory available, the address "
                    "space limit and the cgroup's memory limit)",
                ENOMEM);
}

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
    if (size.width < 1 || size.height < 1 || size.width > kMaxPictureSide || size.height > kMaxPictureSide)
        return failed(fail("a picture's sides must be 1 to " + std::to_string(kMaxPictureSide) + " pixels", EINVAL));
    if (request.format == ImageFormat::Bmp)
        if (Status fits = BmpBandWriter::fits(size); !fits)
            return failed(fits.failure());

    ExplorerState state;
    if (location.deep) {
        if (Status ok = checkDeepView(*location.deep); !ok)
            return failed(ok.failure());
        state.wid = state.hei = kSurfaceSize;
        applyPalette(state, location.palette);
        ResetView(state);
    } else {
        auto legacy = legacyStateOf(location);
        if (!legacy)
            return failed(legacy.failure());
        state = std::move(*legacy);
    }

    // A deep view's reference orbit first: it may take long, and a view
    // whose orbit does not fit in memory is refused before any file is made.
    std::unique_ptr<DeepComputer> deep;
    double shareBefore = 0;
    if (location.deep && request.orbit) {
        DeepComputerOptions options;
        options.iterations = location.deep->iterations;
        deep = std::make_unique<DeepComputer>(request.orbit, options);
    } else if (location.deep) {
        if (Status fits = deepViewFits(*location.deep, memoryBudget()); !fits)
            return failed(fits.failure());
        WorkControl control;
        control.memoryLimit = memoryBudget();
        control.progress = [&hooks](double share) {
            if (hooks.stop && hooks.stop->load())
                return false;
            return !hooks.progress || hooks.progress(share * kOrbitShare);
        };
        auto orbit = ReferenceOrbit::compute(*location.deep, control);
        if (!orbit) {
            const Failure why = orbit.failure();
            return failed(why.reason == "stopped" ? fail("stopped", ECANCELED) : why);
        }
        deep = std::make_unique<DeepComputer>(std::shared_ptr<const ReferenceOrbit>(std::move(*orbit)));
        shareBefore = kOrbitShare;
    }
    if (deep) {
        const double reach = location.size ? farthestOffset(state, size) : kDeepCentrePixel * 1.4142135623730951;
        if (Status ok = deep->prepare(reach, memoryBudget()); !ok)
            return failed(ok.failure());
    }

    if (!location.size) {
        ImageSurface surface;
        if (Status drawn = drawWindowPicture(surface, state, deep.get(), hooks); !drawn)
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
        drawn = drawPoster(bmp, size, state, deep.get(), hooks, shareBefore);
    } else {
        ThreadPool* pool = deep ? deep->pool() : &ThreadPool::shared();
        PngBandWriter png(size, pngTexts(request), destination->writer(), pool);
        drawn = drawPoster(png, size, state, deep.get(), hooks, shareBefore);
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
