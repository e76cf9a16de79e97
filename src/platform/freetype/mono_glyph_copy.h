// Puts one FreeType glyph image into the caption bitmap, for the FreeType text
// renderer. Only 1-bit images are taken: the caption is pure green on pure
// black, and a grey, LCD or colour image holds bytes, not bits, so reading it
// as a mask would draw stripes of noise.
// Depends on FreeType's bitmap type only.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>

#include "patterns/caption.h"

namespace veltrane {

// Sets CAPTION_GLYPH under each set bit of the 1-bit image whose top-left
// pixel lands at (left, top) of the upright picture, clipped to the bitmap;
// clear bits leave the pixel as it is. Rows may run down (positive pitch) or
// up (negative pitch), as FreeType allows. False, with nothing drawn, for an
// image that is not FT_PIXEL_MODE_MONO or whose rows are shorter than its
// width.
bool copyMonoGlyph(const FT_Bitmap& image, std::int32_t left, std::int32_t top, CaptionBitmap& bitmap);

}  // namespace veltrane
