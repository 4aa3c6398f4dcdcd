// A frame as the page shows it: a PNG, lossless, written at the quickest
// level that pays. The bytes' way into the page costs more than deflating
// them, and the browser decodes a PNG off its main thread.
#ifndef KIVO_HOST_PREVIEW_SHOWN_FRAME_H
#define KIVO_HOST_PREVIEW_SHOWN_FRAME_H

#include <string>

#include "host/core/rgba_image.h"

namespace kivo::preview {

// Any PNG encoding of the frame for the page to show. Throws what the PNG
// writer throws.
std::string pngOf(const host::RgbaImage &image, int level);

// The frame for showing: deflated at level 1, or stored (level 0) when
// bands sampled from it hardly compress, as noise does (the Static look at
// full strength, heavy grain): deflating it would cost the server more time
// than its few bytes saved save the page.
std::string shownPngOf(const host::RgbaImage &image);

} // namespace kivo::preview

#endif
