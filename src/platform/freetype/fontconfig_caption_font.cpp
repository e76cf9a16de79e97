#include "platform/freetype/fontconfig_caption_font.h"

#include <fontconfig/fontconfig.h>

#include <vector>

namespace veltrane {

std::unique_ptr<FreeTypeTextRenderer> captionTextFromFontconfig(std::string& problem) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        problem = "fontconfig could not be initialised";
        return nullptr;
    }
    std::vector<std::string> candidates;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("monospace"));
    if (pattern != nullptr) {
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        // Sorted best first; the fallbacks matter when the best file is broken.
        if (FcFontSet* fonts = FcFontSort(config, pattern, FcTrue, nullptr, &result)) {
            for (int i = 0; i < fonts->nfont; ++i) {
                FcChar8* file = nullptr;
                if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
                    candidates.emplace_back(reinterpret_cast<const char*>(file));
                }
            }
            FcFontSetDestroy(fonts);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);

    problem = "fontconfig knows no fonts";
    for (const std::string& file : candidates) {
        if (auto renderer = FreeTypeTextRenderer::createFromFile(file, problem)) return renderer;
    }
    return nullptr;
}

}  // namespace veltrane
