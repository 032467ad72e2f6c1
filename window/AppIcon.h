#pragma once

#include <QIcon>

namespace mandel {

// The explorer's icon in every size built into the program (the PNG
// renderings of its SVG icon); null only if the build left them out.
QIcon explorerIcon();

} // namespace mandel
