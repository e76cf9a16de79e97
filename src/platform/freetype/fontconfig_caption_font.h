// How the Linux programs find the caption's font: the scalable fonts
// fontconfig offers for "monospace", best first, and the first of them the
// FreeType renderer can use.
// Depends on fontconfig and the FreeType renderer.
#pragma once

#include <memory>
#include <string>

#include "platform/freetype/freetype_text_renderer.h"

namespace veltrane {

// What the user should do when no font can be found, in one sentence.
inline constexpr const char* NO_CAPTION_FONT_MESSAGE =
    "veltrane: no usable font was found for the caption, so the pages are shown without it. "
    "Install one, for example: sudo apt-get install fonts-dejavu-core";

// The first usable scalable font fontconfig offers for "monospace", or null
// (with the reason in `problem`) when there is none.
std::unique_ptr<FreeTypeTextRenderer> captionTextFromFontconfig(std::string& problem);

}  // namespace veltrane
