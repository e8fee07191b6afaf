// Arguments quoted by the Microsoft C runtime's documented rules split back to exactly the same arguments; any line
// splits into arguments that, quoted again, split the same way.
#include "FuzzCheck.h"
#include "CommandLine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

using platform::posix::SplitCommandLine;

// Quoted as CommandLineToArgvW and the C runtime read it back: backslashes are doubled only before a quote, the closing
// one included.
static std::string Quote(const std::string& arg, bool always)
{
    if (!always && !arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string out = "\"";
    std::size_t slashes = 0;
    for (const char c : arg) {
        if (c != '\\') {
            out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\') += c;
        }
        slashes = c == '\\' ? slashes + 1 : 0;
    }
    return out.append(2 * slashes, '\\') + '"';
}

// The program name takes no escapes: it is quoted only when it holds a blank.
static std::string Line(const std::vector<std::string>& args, bool always, const char* gap)
{
    const std::string& program = args[0];
    std::string line = always || program.empty() || program.find_first_of(" \t") != std::string::npos
                           ? '"' + program + '"'
                           : program;
    for (std::size_t i = 1; i < args.size(); ++i) {
        line += gap + Quote(args[i], always);
    }
    return line;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool always = in.ConsumeBool();
    const char* gap = in.ConsumeBool() ? " " : " \t ";
    if (in.ConsumeBool()) {
        std::vector<std::string> args{in.ConsumeRandomLengthString(16)};
        if (args[0].find('"') != std::string::npos) {
            return 0;
        }
        while (in.remaining_bytes() > 0) {
            args.push_back(in.ConsumeRandomLengthString(24));
        }
        Require(SplitCommandLine(Line(args, always, gap)) == args, "quoted arguments split differently");
        return 0;
    }
    const std::vector<std::string> args = SplitCommandLine(in.ConsumeRemainingBytesAsString());
    Require(!args.empty(), "no program name");
    if (args[0].find('"') == std::string::npos) {
        Require(SplitCommandLine(Line(args, always, gap)) == args, "split arguments, quoted again, split differently");
    }
    return 0;
}
