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
    Batch,
    Threads,
    Unknown
};

Option optionOf(const char* arg) {
    static const struct {
        const char* name;
        Option option;
    } table[] = {
        {"-i", Option::Input},
        {"-o", Option::Output},
        {"-x", Option::X},
        {"-y", Option::Y},
        {"-s", Option::Scale},
        {"-w", Option::Width},
        {"-h", Option::Height},
        {"-n", Option::Levels},
        {"-icon", Option::Icon},
        {"-misinfo", Option::Misinfo},
        {"-quiet", Option::Quiet},
        {"-wm", Option::Watermark},
        {"-wp", Option::Position},
        {"-batch", Option::Batch},
        {"-threads", Option::Threads},
    };
    for (const auto& entry : table)
        if (std::strcmp(arg, entry.name) == 0) return entry.option;
    return Option::Unknown;
}

bool isFlag(Option o) { return o == Option::Icon || o == Option::Misinfo || o == Option::Quiet; }

// The options that only the command line of a batch run may hold.
bool isCommandLineOnly(Option o) {
    return o == Option::Input || o == Option::Misinfo || o == Option::Batch || o == Option::Threads;
}

// The options of one extraction, which a batch run takes from its lines.
bool isLineOption(Option o) { return o != Option::Quiet && !isCommandLineOnly(o) && o != Option::Unknown; }

// -threads: a plain decimal count from 1 to kMaxThreads.
int threadCount(const char* text) {
    int n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || n > kMaxThreads) n = kMaxThreads + 1;
        if (n <= kMaxThreads) n = n * 10 + (*p - '0');
    }
    if (n < 1 || n > kMaxThreads)
        throw wavra::Error("Error: -threads takes a number from 1 to " + std::to_string(kMaxThreads));
    return n;
}

// Why a walk stopped at a usage error; `announced` problems are printed
// before the usage text of a command line.
struct WalkProblem {
    std::string text;
    bool announced = false;
};

// Walks argv[first..argc) into `v`. Returns UsageError with the problem set
// for the usage errors listed at parseCommandLine; in a batch line
// (`inLine`) the command-line-only options are usage errors too.
ParseResult walkOptions(int argc, const char* const* argv, int first, bool inLine, CommandLineValues& v,
                        WalkProblem& problem) {
    for (int i = first; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || arg[0] != '-') {
            problem.text = std::string("Unexpected argument: ") + (arg ? arg : "");
            return ParseResult::UsageError;
        }
        const Option option = optionOf(arg);
        if (option == Option::Unknown) {
            problem.text = std::string("Unrecognized option: ") + arg;
            problem.announced = true;
            return ParseResult::UsageError;
        }
        if (inLine && isCommandLineOnly(option)) {
            problem.text = std::string("Option ") + arg + " belongs on the command line, not in a batch line";
            return ParseResult::UsageError;
        }
        if (isLineOption(option) && v.firstLineOption.empty()) v.firstLineOption = arg;
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
            if (option == Option::Batch) v.batch = true;  // told with the batch usage
            problem.text = std::string("Missing value of option ") + arg;
            return ParseResult::UsageError;
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
            case Option::Position: {
                const int32_t position = parseInteger(value);
                if (position < 1 || position > 9) {
                    problem.text = std::string("Watermark position out of 1..9: ") + value;
                    return ParseResult::UsageError;
                }
                v.watermarkPosition = position;
                break;
            }
            case Option::Batch:
                v.batchList = value;
                v.batch = true;
                break;
            case Option::Threads:
                v.threads = threadCount(value);
                v.hasThreads = true;
                break;
            default:
                break;
        }
    }
    return ParseResult::Ok;
}

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

std::string batchUsageText(const char* programName) {
    return std::string("Usage: ") + (programName ? programName : "") +
           " -batch LIST -i input [-threads N] [-quiet]\n"
           "  LIST: one extraction a line, the options of a single run without -i;\n"
           "  blank lines and lines starting with # are skipped. A written line reports\n"
           "  \"line N: OUTPUT written (K of M)\" on standard output unless -quiet; each\n"
           "  line of a failure's message goes to standard error as \"line N: MESSAGE\".";
}

std::string bannerText() {
    const std::string rule(kBannerWidth, '*');
    return rule + "\n" + boxedLine("Wavra Extract 1.0.2 - regions of Wavra images, cut out and re-encoded") +
           boxedLine("Copyright the Wavra Extract developers. No warranty of any kind.") + rule + "\n\n";
}

void checkRequirements(const CommandLineValues& v) {
    if (!v.hasInput) missing("-i");
    if (v.batch) {
        if (v.misinfo) throw wavra::Error("Error: -misinfo cannot be combined with -batch");
        if (!v.firstLineOption.empty())
            throw wavra::Error("Error: option " + v.firstLineOption +
                               " belongs in the lines of the batch list");
        return;
    }
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
    WalkProblem problem;
    if (walkOptions(argc, argv, 1, false, v, problem) != ParseResult::Ok) {
        if (problem.announced) std::fprintf(err, "%s\n", problem.text.c_str());
        if (!v.batch) return usageError(program, err);
        std::fputs(batchUsageText(program).c_str(), err);
        std::fflush(err);
        return ParseResult::UsageError;
    }
    checkRequirements(v);
    return ParseResult::Ok;
}

std::string parseBatchLine(const std::vector<std::string>& args, CommandLineValues& v) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    WalkProblem problem;
    if (walkOptions(int(argv.size()), argv.data(), 0, true, v, problem) != ParseResult::Ok)
        return problem.text;
    try {
        checkRequirements(v);
    } catch (const wavra::Error& e) {
        return e.what();
    }
    return "";
}
