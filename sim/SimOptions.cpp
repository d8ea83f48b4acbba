#include "sim/SimOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace vintrel::sim {

namespace {
template <typename T> bool ParseInteger(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty();
}

bool ParseSeconds(const std::string& text, double& out) {
    size_t used = 0;
    try {
        out = std::stod(text, &used);
    } catch (...) {
        return false;
    }
    return used == text.size() && std::isfinite(out) && out > 0;
}

std::string Need(const std::string& option, const std::string& valid) {
    return option + ": expected " + valid;
}
} // namespace

std::string SimUsage() {
    std::string formats;
    for (int i = 0; i < kFormatCount; ++i) {
        const auto f = static_cast<DataStreamFormat>(i);
        formats += std::string(i % 2 ? "  " : "                            ") + "\"" + FormatCaption(f) +
                   "\" (" + FormatShortName(f) + ")" + (i % 2 || i + 1 == kFormatCount ? "\n" : "");
    }
    return "Usage: vintrel-sim [options]\n"
           "Simulates a voice-processing DSP target and writes its diagnostic frame stream.\n"
           "\n"
           "Stream:\n"
           "  --protocol new|old        frame format (default new)\n"
           "  --format F                data stream format, caption or short form (default \"8 Ksps, 4 "
           "ms\"):\n" +
           formats +
           "  --big-endian              send every 16-bit word high byte first\n"
           "  --channels N              number of audio channels, 1..5 (default 5), taken in the order\n"
           "                            RXout, TX1in, TXout, RXin, TX2in\n"
           "  --platform P              target platform named in the stream: General or Kalimba\n"
           "                            (default General)\n"
           "  --start-counter N         first frame number, 0..4294967295 (default 0)\n"
           "\n"
           "Signals:\n"
           "  --seed N                  seed of every random choice, 0..2^64-1 (default 1); the same seed\n"
           "                            gives the same bytes\n"
           "  --echo-delay-ms D         delay of the RXout echo on TX1in, 0..1000 ms (default 60)\n"
           "\n"
           "Damage (K = 0 is off; frames are counted from 1, damage hits frames K, 2K, ...):\n"
           "  --bad-checksum-every K    new protocol: send a wrong checksum word\n"
           "  --skip-frame-every K      generate the frame, use up its number, and do not send it\n"
           "  --garbage-every K         send 16..80 random bytes before the frame; the bytes never\n"
           "                            include a marker byte (FF EE FE 7F 01 80), so no false marker\n"
           "  --unknown-tag-every K     new protocol: add a chunk with tag 0x8005 before the checksum\n"
           "                            (length and checksum include it)\n"
           "\n"
           "Output:\n"
           "  --output FILE             write the stream to FILE as fast as possible (default 10 s) and\n"
           "                            print a one-line summary with frame and damage counts;\n"
           "                            without it the stream goes to standard output (not a terminal)\n"
           "  --seconds S               length of the stream in seconds (default: endless on standard\n"
           "                            output)\n"
           "  --help                    show this text\n"
           "\n"
           "Exit status: 0 done, 1 output error, 2 usage error.\n";
}

SimOptionsResult ParseSimOptions(const std::vector<std::string>& args) {
    SimOptionsResult r;
    SimOptions& o = r.options;
    StreamConfig& s = o.stream;

    // Each option with a value: a handler that returns an error text or "".
    using Handler = std::function<std::string(const std::string& name, const std::string& v)>;
    auto every = [](uint32_t& field) {
        return Handler([&field](const std::string& name, const std::string& v) {
            return ParseInteger(v, field) ? ""
                                          : Need(name, "a whole number of frames 0..4294967295 (0 = off)");
        });
    };
    const std::map<std::string, Handler> valued = {
        {"--protocol",
         [&](const std::string& name, const std::string& v) -> std::string {
             if (v == "new")
                 s.protocol = Protocol::New;
             else if (v == "old")
                 s.protocol = Protocol::Old;
             else
                 return Need(name, "one of: new, old");
             return "";
         }},
        {"--format",
         [&](const std::string& name, const std::string& v) -> std::string {
             const auto f = ParseFormatName(v);
             if (!f) return Need(name, "one of: " + ValidFormatList());
             s.format = *f;
             return "";
         }},
        {"--channels",
         [&](const std::string& name, const std::string& v) -> std::string {
             if (!ParseInteger(v, s.channels) || s.channels < 1 || s.channels > kSimChannelCount)
                 return Need(name, "a number 1..5");
             return "";
         }},
        {"--platform",
         [&](const std::string& name, const std::string& v) -> std::string {
             const auto p = ParsePlatformName(v);
             if (!p) return Need(name, "one of: " + ValidPlatformList());
             s.platform = *p;
             return "";
         }},
        {"--start-counter",
         [&](const std::string& name, const std::string& v) -> std::string {
             return ParseInteger(v, s.startCounter) ? "" : Need(name, "a number 0..4294967295");
         }},
        {"--seed",
         [&](const std::string& name, const std::string& v) -> std::string {
             return ParseInteger(v, s.seed) ? "" : Need(name, "a number 0..18446744073709551615");
         }},
        {"--echo-delay-ms",
         [&](const std::string& name, const std::string& v) -> std::string {
             if (!ParseInteger(v, s.echoDelayMs) || s.echoDelayMs < StreamGenerator::kMinEchoDelayMs ||
                 s.echoDelayMs > StreamGenerator::kMaxEchoDelayMs)
                 return Need(name, "milliseconds 0..1000");
             return "";
         }},
        {"--seconds",
         [&](const std::string& name, const std::string& v) -> std::string {
             double d = 0;
             if (!ParseSeconds(v, d)) return Need(name, "a number of seconds above 0");
             o.seconds = d;
             return "";
         }},
        {"--output",
         [&](const std::string& name, const std::string& v) -> std::string {
             if (v.empty()) return Need(name, "a file name");
             o.output = v;
             return "";
         }},
        {"--bad-checksum-every", every(s.damage.badChecksumEvery)},
        {"--skip-frame-every", every(s.damage.skipFrameEvery)},
        {"--garbage-every", every(s.damage.garbageEvery)},
        {"--unknown-tag-every", every(s.damage.unknownTagEvery)},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--big-endian") {
            if (value) return {o, "--big-endian takes no value"};
            s.bigEndian = true;
            continue;
        }
        const auto it = valued.find(name);
        if (it == valued.end()) return {o, "unknown option " + args[i] + " (see --help)"};
        if (!value) {
            if (i + 1 >= args.size()) return {o, name + " needs a value"};
            value = args[++i];
        }
        if (std::string err = it->second(name, *value); !err.empty()) {
            r.error = err + ", not \"" + *value + "\"";
            return r;
        }
    }

    if (s.protocol == Protocol::Old) {
        if (s.damage.badChecksumEvery)
            return {o, "--bad-checksum-every: old-protocol frames have no checksum"};
        if (s.damage.unknownTagEvery) return {o, "--unknown-tag-every: old-protocol frames have no tags"};
    }
    return r;
}

std::optional<double> EffectiveSeconds(const SimOptions& options) {
    if (options.seconds) return options.seconds;
    if (!options.output.empty()) return kDefaultFileSeconds;
    return std::nullopt;
}

} // namespace vintrel::sim
