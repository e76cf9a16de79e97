// Feeds arbitrary bytes to the settings file's reader and to the save's
// rewrite of an existing text. Beyond crashes and sanitizer reports it checks
// what a save promises: no line of the user's is lost, what was written reads
// back as exactly the values given with nothing left to complain about, and
// saving the same values again changes nothing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/xdg/settings_file_format.h"

namespace {

using namespace veltrane;

constexpr std::array<std::string_view, 9> NAMES{"MonRG", "MonGG", "MonBG", "MonRB", "MonGB",
                                                "MonBB", "MonRC", "MonGC", "MonBC"};

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "settings_text_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParsedSettings parsed = parseSettingsText(text, NAMES);
    for (const SettingsDiagnostic& diagnostic : parsed.diagnostics) {
        require(diagnostic.lineNumber >= 1, "a diagnostic without a line number");
        require(!describeDiagnostic(diagnostic).empty(), "an empty description");
    }

    // Values that differ from run to run, the extremes included.
    SettingsWrites values;
    std::uint32_t seed = static_cast<std::uint32_t>(size) * 2654435761u;
    for (const std::string_view name : NAMES) {
        seed = seed * 1103515245u + 12345u;
        values.emplace_back(std::string(name), static_cast<std::int32_t>(seed));  // modular since C++20
    }
    const std::string saved = rewriteSettingsText(text, values);

    for (const SettingsDiagnostic& diagnostic : parsed.diagnostics) {
        require(saved.find("# " + diagnostic.lineText) != std::string::npos, "an unusable line was lost");
    }
    const ParsedSettings reread = parseSettingsText(saved, NAMES);
    require(reread.diagnostics.empty(), "the saved text has lines the reader cannot use");
    for (const auto& [name, value] : values) {
        const auto found = reread.values.find(name);
        require(found != reread.values.end() && found->second == value, "a saved value does not read back");
    }
    require(rewriteSettingsText(saved, values) == saved, "saving the same values again changed the text");
    return 0;
}
