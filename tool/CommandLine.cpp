#include "tool/CommandLine.h"

#include <climits>
#include <cstring>

#include "wavra/error.h"

namespace {

constexpr size_t kBannerWidth = 77;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// "* " + text, padded with blanks to the banner width and closed by "*".
std::string boxedLine(const std::string& text) {
    std::string line = "* " + text;
    if (line.size() > kBannerWidth - 2) line.resize(kBannerWidth - 2);
    line.append(kBannerWidth - 1 - line.size(), ' ');
    return line + "*\n";
}

void missing(const char* option) {
    throw wavra::Error(std::string("Error: missing required option ") + option);
}

ParseResult usageError(const char* programName, std::FILE* err) {
    std::fputs(usageText(programName).c_str(), err);
    std::fflush(err);
    return ParseResult::UsageError;
}

enum class Option {
    Input,
    Output,
    X,
    Y,
    Scale,
    Width,
    Height,
    Levels,
    Icon,
    Misinfo,
    Quiet,
    Watermark,
    Position,
    Threads,
    Unknown
};

Option optionOf(const char* arg) {
    static const struct {
        const char* name;
        Option option;
    } table[] = {
        {"-i", Option::Input},     {"-o", Option::Output},
        {"-x", Option::X},         {"-y", Option::Y},
        {"-s", Option::Scale},     {"-w", Option::Width},
        {"-h", Option::Height},    {"-n", Option::Levels},
        {"-icon", Option::Icon},   {"-misinfo", Option::Misinfo},
        {"-quiet", Option::Quiet}, {"-wm", Option::Watermark},
        {"-wp", Option::Position}, {"-threads", Option::Threads},
    };
    for (const auto& entry : table)
        if (std::strcmp(arg, entry.name) == 0) return entry.option;
    return Option::Unknown;
}

bool isFlag(Option o) { return o == Option::Icon || o == Option::Misinfo || o == Option::Quiet; }

}  // namespace

int32_t parseInteger(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Accumulated as a magnitude that stops growing once past the limit.
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > int64_t(INT32_MAX) + 1) magnitude = int64_t(INT32_MAX) + 1;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) return INT32_MAX;
    return int32_t(value);
}

std::string usageText(const char* programName) {
    return std::string("Usage: ") + (programName ? programName : "") +
           " [-icon] -i input -o output -x x0 -y y0 -n nlev -s scale -w width" +
           " -h -height [ -wm /path/to/file.name ]" + " [ -wp position <1-9: default=9>]";
}

std::string bannerText() {
    const std::string rule(kBannerWidth, '*');
    return rule + "\n" + boxedLine("Wavra Extract 1.0.2 - regions of Wavra images, cut out and re-encoded") +
           boxedLine("Copyright the Wavra Extract developers. No warranty of any kind.") + rule + "\n\n";
}

void checkRequirements(const CommandLineValues& v) {
    if (!v.hasInput) missing("-i");
    if (v.misinfo) return;
    if (!v.hasOutput) missing("-o");
    if (v.icon) return;
    if (!v.hasWidth) missing("-w");
    if (!v.hasHeight) missing("-h");
    if (!v.hasScale) missing("-s");
    if (!v.hasX) missing("-x");
    if (!v.hasY) missing("-y");
}

ParseResult parseCommandLine(int argc, const char* const* argv, CommandLineValues& v, std::FILE* err) {
    const char* program = argc > 0 && argv && argv[0] ? argv[0] : "wavra-extract";
    if (argc <= 1) return usageError(program, err);

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || arg[0] != '-') return usageError(program, err);
        const Option option = optionOf(arg);
        if (option == Option::Unknown) {
            std::fprintf(err, "Unrecognized option: %s\n", arg);
            return usageError(program, err);
        }
        if (isFlag(option)) {
            if (option == Option::Icon) v.icon = true;
            if (option == Option::Misinfo) v.misinfo = true;
            if (option == Option::Quiet) v.quiet = true;
            continue;
        }
        if (i + 1 >= argc) {
            // A trailing -wp keeps the default position; any other value
            // option without its value is a usage error.
            if (option == Option::Position) break;
            return usageError(program, err);
        }
        const char* value = argv[++i];
        switch (option) {
            case Option::Input:
                v.input = value;
                v.hasInput = true;
                break;
            case Option::Output:
                v.output = value;
                v.hasOutput = true;
                break;
            case Option::X:
                v.x0 = parseInteger(value);
                v.hasX = true;
                break;
            case Option::Y:
                v.y0 = parseInteger(value);
                v.hasY = true;
                break;
            case Option::Scale:
                v.scale = parseInteger(value);
                v.hasScale = true;
                break;
            case Option::Width:
                v.width = parseInteger(value);
                v.hasWidth = true;
                break;
            case Option::Height:
                v.height = parseInteger(value);
                v.hasHeight = true;
                break;
            case Option::Levels:
                v.nlev = parseInteger(value);
                break;
            case Option::Watermark:
                v.watermarkFile = value;
                v.watermark = true;
                break;
            case Option::Threads:
                v.threads = parseInteger(value);
                if (v.threads < 1 || v.threads > 256) return usageError(program, err);
                break;
            case Option::Position: {
                const int32_t position = parseInteger(value);
                if (position < 1 || position > 9) return usageError(program, err);
                v.watermarkPosition = position;
                break;
            }
            default:
                break;
        }
    }
    checkRequirements(v);
    return ParseResult::Ok;
}
