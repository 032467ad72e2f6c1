#pragma once

#include "ImageView.h"
#include "LocationPicture.h"
#include "Location.h"
#include "Result.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mandel {

class ReferenceOrbit;

// The image formats a picture can be written in.
enum class ImageFormat { Png, Bmp };

// The format the extension of `path` names: ".png" or ".bmp", in any case;
// a name without one (/dev/stdout, say) gets BMP, as pictures always had.
// Fails with a one-line reason that names any other extension.
Result<ImageFormat> imageFormatFor(const std::string& path);

// How a finished picture file takes its name.
enum class FileNaming {
    Replace,    // the path itself, replacing what is there as writeFileAtomically does
    FirstFree,  // the path, or else stem-2.ext, stem-3.ext, ...: never replaces anything
};

// What a picture being written tells its caller, and how it is stopped.
using PictureFileHooks = DrawControl;

// What to write: the view and palette of `location` (legacy or deep). With
// a size in it, the poster of that size; without one, the 596 x 596 picture
// the window draws, pixel for pixel (modes 7 and 8 included).
struct PictureRequest {
    Location location;
    ImageFormat format = ImageFormat::Png;
    FileNaming naming = FileNaming::Replace;
    // The program named in a PNG's Software chunk.
    std::string software = "mandel";
    // A deep view's reference orbit, when the caller has it already (same
    // centre and zoom, a cap of at least the view's); null: computed here.
    std::shared_ptr<const ReferenceOrbit> orbit;
};


// Draws the picture `request` names on all cores and writes it to `path`
// band by band, in memory bounded by the width, never leaving a partial
// file or a temporary: the file appears complete under its name or not at
// all. A PNG holds the location (with its size) in a "mandel-location"
// text chunk. Gives the path written; fails with "PATH: why" (code
// ECANCELED when stopped), and nothing is left behind.
Result<std::string> writePictureFile(const std::string& path, const PictureRequest& request,
                                     const PictureFileHooks& hooks = {});

// Writes `image`, a picture already drawn, of the view `request` names
// (its size and orbit are not read), to `path` as writePictureFile does.
Result<std::string> writeImageFile(const std::string& path, ImageView image, const PictureRequest& request);

} // namespace mandel
