#include "platform/xdg/settings_file_format.h"

#include <algorithm>

namespace veltrane {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// Long enough for any line a person writes; a longer one is shown cut short.
constexpr std::size_t LONGEST_SHOWN_LINE = 72;

std::string_view trim(std::string_view s) { return trimSettingsText(s); }

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

enum class LineKind {
    Blank,       // empty, spaces or a comment
    Counted,     // a value line that counts for its name
    Superseded,  // a value line whose name is set again further down
    Unknown,     // a value line for a name nobody asked about
    Unusable,    // anything else; `name` is set when the name itself was readable
};

struct Line {
    std::string_view content;  // without the '\n'; a '\r' before it stays here
    bool endsWithNewline = false;
    LineKind kind = LineKind::Blank;
    std::string_view name;
    std::size_t valueBegin = 0;  // the number's place in `content`
    std::size_t valueEnd = 0;
    std::int32_t value = 0;
    std::string reason;
};

Line classifyLine(std::string_view content) {
    Line line;
    line.content = content;
    std::string_view code = content.substr(0, content.find('#'));
    if (trim(code).empty()) return line;
    line.kind = LineKind::Unusable;
    const std::size_t equals = code.find('=');
    if (equals == std::string_view::npos) {
        line.reason = "not a `Name = value` line";
        return line;
    }
    const std::string_view name = trim(code.substr(0, equals));
    if (name.empty()) {
        line.reason = "no name before `=`";
        return line;
    }
    if (!std::all_of(name.begin(), name.end(), isNameCharacter)) {
        line.reason = "a name is letters, digits and `_` only";
        return line;
    }
    line.name = name;
    const std::string_view value = trim(code.substr(equals + 1));
    line.valueBegin = static_cast<std::size_t>(value.data() - content.data());
    line.valueEnd = line.valueBegin + value.size();
    if (const auto number = parseSettingsNumber(value)) {
        line.kind = LineKind::Counted;
        line.value = *number;
    } else {
        line.reason = value.empty() ? "no value after `=`" : settingsValueProblem(value);
    }
    return line;
}

// Built piece by piece: GCC 12 warns falsely about "literal" + std::string here.
void appendQuoted(std::string& out, std::string_view name) {
    out += '`';
    out.append(name);
    out += '`';
}

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
    return text;
}

// Splits the text into lines and decides what each one is. `isKnown` says
// which names the caller reads; everything else is Unknown.
template <typename IsKnown>
std::vector<Line> analyseLines(std::string_view body, IsKnown isKnown) {
    std::vector<Line> lines;
    while (!body.empty()) {
        const std::size_t newline = body.find('\n');
        Line line = classifyLine(body.substr(0, newline));
        line.endsWithNewline = newline != std::string_view::npos;
        body.remove_prefix(line.endsWithNewline ? newline + 1 : body.size());
        lines.push_back(std::move(line));
    }
    std::map<std::string_view, std::size_t> lastLineOfName;
    for (std::size_t i = lines.size(); i-- > 0;) {
        Line& line = lines[i];
        if (line.kind != LineKind::Counted) continue;
        if (!isKnown(line.name)) {
            line.kind = LineKind::Unknown;
            line.reason = "no setting is called ";
            appendQuoted(line.reason, line.name);
            continue;
        }
        const auto [later, first] = lastLineOfName.emplace(line.name, i);
        if (!first) {
            line.kind = LineKind::Superseded;
            appendQuoted(line.reason, line.name);
            line.reason += " is set again on line ";
            line.reason += std::to_string(later->second + 1);
            line.reason += ", which counts";
        }
    }
    return lines;
}

}  // namespace

ParsedSettings parseSettingsText(std::string_view text, std::span<const std::string_view> knownNames) {
    const auto isKnown = [knownNames](std::string_view name) {
        return knownNames.empty() || std::find(knownNames.begin(), knownNames.end(), name) != knownNames.end();
    };
    ParsedSettings parsed;
    const std::vector<Line> lines = analyseLines(withoutByteOrderMark(text), isKnown);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        switch (line.kind) {
            case LineKind::Blank: continue;
            case LineKind::Counted: break;
            case LineKind::Superseded:
            case LineKind::Unknown:
            case LineKind::Unusable: {
                std::string_view shown = line.content;
                if (shown.ends_with('\r')) shown.remove_suffix(1);
                parsed.diagnostics.push_back({static_cast<int>(i + 1), std::string(shown), line.reason});
                break;
            }
        }
        // Unknown names are read as they always were; whoever asks decides.
        if (line.kind == LineKind::Counted || line.kind == LineKind::Unknown) {
            parsed.values.insert_or_assign(std::string(line.name), line.value);
        }
    }
    return parsed;
}

std::string describeDiagnostic(const SettingsDiagnostic& diagnostic) {
    std::string_view shown = trim(diagnostic.lineText);
    bool cut = false;
    if (shown.size() > LONGEST_SHOWN_LINE) {
        std::size_t end = LONGEST_SHOWN_LINE;
        // Never cut a UTF-8 character in half.
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
        shown = shown.substr(0, end);
        cut = true;
    }
    std::string text = "line " + std::to_string(diagnostic.lineNumber) + ": `";
    text += quotedInWarning(shown);
    if (cut) text += "...";
    text += "`: ";
    text += diagnostic.reason;
    return text;
}

std::string formatSettingsText(const SettingsWrites& values) {
    std::string text =
        "# Veltrane display calibration, written when the program ends.\n"
        "# Each value is a parameter in hundredths: 100 means 1.00, -40 means -0.40.\n"
        "# MonR*, MonG*, MonB* are red, green, blue; *B brightness, *C contrast, *G gamma.\n"
        "# A missing or unreadable line counts as 100.\n";
    for (const auto& [name, value] : values) {
        text += name;
        text += " = ";
        text += std::to_string(value);
        text += '\n';
    }
    return text;
}

std::string rewriteSettingsText(std::string_view oldText, const SettingsWrites& values) {
    const std::string_view body = withoutByteOrderMark(oldText);
    const std::string_view byteOrderMark = oldText.substr(0, oldText.size() - body.size());
    if (body.find_first_not_of(" \t\r\v\f\n") == std::string_view::npos) {
        return std::string(byteOrderMark) + formatSettingsText(values);
    }

    // The value that is written for each name: the last one given.
    std::map<std::string_view, std::int32_t> written;
    for (const auto& [name, value] : values) written.insert_or_assign(name, value);

    const std::vector<Line> lines =
        analyseLines(body, [&written](std::string_view name) { return written.contains(name); });

    // The line that holds each name's value after the save: the line that
    // counts, or else the last unusable line naming it, so the fixed value
    // lands just below what the user wrote.
    std::map<std::string_view, std::size_t> home;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Counted) home.insert_or_assign(line.name, i);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Unusable && written.contains(line.name) &&
            (!home.contains(line.name) || lines[home[line.name]].kind != LineKind::Counted)) {
            home.insert_or_assign(line.name, i);
        }
    }

    // New lines follow the file's own line ends.
    const bool crlf = !lines.empty() && lines.front().content.ends_with('\r');
    const std::string_view lineEnd = crlf ? "\r\n" : "\n";
    const auto valueLine = [](std::string_view name, std::int32_t value) {
        return std::string(name) + " = " + std::to_string(value);
    };

    std::string text(byteOrderMark);
    bool openLine = false;  // the last original line had no line end
    const auto add = [&](std::string_view piece, bool generated) {
        if (openLine) text += lineEnd;
        text += piece;
        if (generated) text += lineEnd;
        openLine = false;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        std::string original(line.content);
        if (line.kind == LineKind::Counted) {
            const std::int32_t value = written.at(line.name);
            if (value != line.value) {
                original = std::string(line.content.substr(0, line.valueBegin)) + std::to_string(value) +
                           std::string(line.content.substr(line.valueEnd));
            }
        } else if (line.kind != LineKind::Blank) {
            add("# Not read (" + line.reason + "):", true);
            original.insert(0, "# ");
        }
        add(original, false);
        if (line.endsWithNewline) {
            text += '\n';
        } else {
            openLine = true;
        }
        if (const auto found = home.find(line.name);
            line.kind == LineKind::Unusable && found != home.end() && found->second == i) {
            add(valueLine(line.name, written.at(line.name)), true);
        }
    }
    for (const auto& [name, value] : values) {
        if (!home.contains(name)) {
            add(valueLine(name, written.at(name)), true);
            home.emplace(name, lines.size());  // a name given twice is appended once
        }
    }
    return text;
}

}  // namespace veltrane
