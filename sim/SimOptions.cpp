#include "sim/SimOptions.h"

#include "stream/Text.h"

#include <functional>
#include <map>

namespace vintrel::sim {

namespace {
constexpr double kMaxAttenuationDb = 100;

template <typename T> bool ParseInteger(std::string_view text, T& out) {
    const std::optional<T> v = ParseDecimal<T>(text);
    if (v) out = *v;
    return v.has_value();
}

bool ParseSeconds(const std::string& text, double& out) {
    const std::optional<double> v = ParseReal(text);
    if (!v || *v <= 0) return false;
    out = *v;
    return true;
}

// An attenuation in dB, 0..kMaxAttenuationDb.
bool ParseDb(const std::string& text, double& out) {
    const std::optional<double> v = ParseReal(text);
    if (!v || !(*v >= 0 && *v <= kMaxAttenuationDb)) return false;
    out = *v;
    return true;
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
           "  --erl-db X                echo return loss: the echo on TX1in is RXout attenuated by X dB,\n"
           "                            0..100 (default 9.1, an echo gain of 0.35)\n"
           "  --cancel-db X             the echo on TXout is the echo on TX1in attenuated by X dB,\n"
           "                            0..100 (default 20)\n"
           "  --near-talk-every S       a near-end talker speaks on TX1in and TXout every S seconds for\n"
           "                            S/2 or 1 s, whichever is shorter; VAD TX is high exactly on those\n"
           "                            frames (default: no near-end talker)\n"
           "  --no-noise                add no noise to any channel, so levels follow the settings exactly\n"
           "\n"
           "Damage (K = 0 is off; frames are counted from 1, damage hits frames K, 2K, ...):\n"
           "  --bad-checksum-every K    new protocol: send a wrong checksum word\n"
           "  --skip-frame-every K      generate the frame, use up its number, and do not send it\n"
           "  --garbage-every K         send 16..80 random bytes before the frame; the bytes never\n"
           "                            include a marker byte (FF EE FE 7F 01 80), so no false marker\n"
           "  --unknown-tag-every K     new protocol: add a chunk with tag 0x8005 before the checksum\n"
           "                            (length and checksum include it)\n"
           "\n"
           "Output (one of --listen, --pty, --output; default --listen 127.0.0.1:9090):\n"
           "  --listen HOST:PORT        serve the stream over TCP, one client after another; PORT 0\n"
           "                            takes any free port. Prints \"listening on HOST:PORT\" first.\n"
           "                            Each client gets a fresh stream from its first frame (the same\n"
           "                            seed gives it the same bytes); when a client goes away the next\n"
           "                            one is awaited\n"
           "  --pty                     create a pseudo-terminal in raw mode, print \"pty PATH\" (its\n"
           "                            slave side, to open like a serial port) and send the stream\n"
           "                            there; while nobody reads, the stream waits\n"
           "  --output FILE             write the stream to FILE (\"-\": standard output, not a\n"
           "                            terminal) as fast as possible, 10 s by default, and print a\n"
           "                            one-line summary with frame and damage counts\n"
           "  --log FILE                write FILE with a line for every connection (or the one output):\n"
           "                            where in the stream it began, the bytes and the damage that\n"
           "                            went out whole, a frame cut short, bytes still unacknowledged\n"
           "                            when a dropped connection was reset; and a total at the end\n"
           "\n"
           "Timing:\n"
           "  --as-fast-as-possible     do not pace the stream (--listen, --pty); by default frames go\n"
           "                            out in real time, at the format's frame rate\n"
           "  --seconds S               length of the stream in seconds; with --listen, of each\n"
           "                            client's stream, which then ends with an orderly close\n"
           "                            (default: endless, but 10 s with --output FILE)\n"
           "  --once                    --listen: exit after the first client instead of awaiting the\n"
           "                            next\n"
           "  --drop-connection-after S --listen: reset each connection (abortive close) after S\n"
           "                            seconds of stream, as a target whose link fails; the next\n"
           "                            client's stream continues where the dropped one stopped, frame\n"
           "                            counter included\n"
           "  --drop-mid-frame          with --drop-connection-after: the link fails in the middle of\n"
           "                            a frame; a random part of the next frame (1 byte to all but\n"
           "                            one) goes out before the reset, the rest of it is lost\n"
           "  --help                    show this text\n"
           "  --version                 print the version\n"
           "\n"
           "SIGINT and SIGTERM end the run; a summary line with frame and damage counts goes to\n"
           "standard error (standard output for --output FILE).\n"
           "\n"
           "Exit status: 0 done or stopped by a signal, 1 output error (including a listener or\n"
           "pseudo-terminal that cannot be set up), 2 usage error.\n";
}

SimOptionsResult ParseSimOptions(const std::vector<std::string>& args) {
    SimOptionsResult r;
    SimOptions& o = r.options;
    StreamConfig& s = o.stream;

    std::vector<std::string> outputs;    // --output, --listen, --pty as given
    std::vector<std::string> listenOnly; // options that need the TCP listener

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
        {"--erl-db",
         [&](const std::string& name, const std::string& v) -> std::string {
             double db = 0;
             if (!ParseDb(v, db)) return Need(name, "decibels 0..100");
             s.signal.echoGain = GainForAttenuationDb(db);
             return "";
         }},
        {"--cancel-db",
         [&](const std::string& name, const std::string& v) -> std::string {
             double db = 0;
             if (!ParseDb(v, db)) return Need(name, "decibels 0..100");
             s.signal.residualEcho = GainForAttenuationDb(db);
             return "";
         }},
        {"--near-talk-every",
         [&](const std::string& name, const std::string& v) -> std::string {
             double d = 0;
             if (!ParseSeconds(v, d)) return Need(name, "a number of seconds above 0");
             s.signal.nearTalkEverySeconds = d;
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
             if (v.empty()) return Need(name, "a file name or - for standard output");
             o.output = v;
             outputs.push_back(name);
             o.outputKind = OutputKind::File;
             return "";
         }},
        {"--listen",
         [&](const std::string& name, const std::string& v) -> std::string {
             const auto a = ParseListenAddress(v);
             if (!a) return Need(name, "HOST:PORT with PORT 0..65535");
             o.listen = *a;
             outputs.push_back(name);
             o.outputKind = OutputKind::Listen;
             return "";
         }},
        {"--drop-connection-after",
         [&](const std::string& name, const std::string& v) -> std::string {
             double d = 0;
             if (!ParseSeconds(v, d)) return Need(name, "a number of seconds above 0");
             o.dropAfter = d;
             listenOnly.push_back(name);
             return "";
         }},
        {"--log",
         [&](const std::string& name, const std::string& v) -> std::string {
             if (v.empty()) return Need(name, "a file name");
             o.logPath = v;
             return "";
         }},
        {"--bad-checksum-every", every(s.damage.badChecksumEvery)},
        {"--skip-frame-every", every(s.damage.skipFrameEvery)},
        {"--garbage-every", every(s.damage.garbageEvery)},
        {"--unknown-tag-every", every(s.damage.unknownTagEvery)},
    };

    bool pty = false, fast = false, once = false, noNoise = false;
    const std::map<std::string, bool*> flags = {
        {"--big-endian", &s.bigEndian},
        {"--drop-mid-frame", &o.dropMidFrame},
        {"--pty", &pty},
        {"--as-fast-as-possible", &fast},
        {"--once", &once},
        {"--no-noise", &noNoise},
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
        if (name == "--version") {
            o.version = true;
            continue;
        }
        if (const auto flag = flags.find(name); flag != flags.end()) {
            if (value) return {o, name + " takes no value"};
            *flag->second = true;
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

    if (pty) {
        outputs.push_back("--pty");
        o.outputKind = OutputKind::Pty;
    }
    if (once) listenOnly.push_back("--once");
    if (o.dropMidFrame) {
        if (!o.dropAfter) return {o, "--drop-mid-frame needs --drop-connection-after"};
        listenOnly.push_back("--drop-mid-frame");
    }
    s.signal.noise = !noNoise;
    o.paced = !fast;
    o.once = once;
    if (outputs.size() > 1) return {o, outputs[0] + " and " + outputs[1] + " exclude each other"};
    if (o.outputKind != OutputKind::Listen && !listenOnly.empty())
        return {o, listenOnly[0] + " applies to the TCP listener only, not to " + outputs[0]};

    if (s.protocol == Protocol::Old) {
        if (s.damage.badChecksumEvery)
            return {o, "--bad-checksum-every: old-protocol frames have no checksum"};
        if (s.damage.unknownTagEvery) return {o, "--unknown-tag-every: old-protocol frames have no tags"};
    }
    return r;
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return std::nullopt; // an IPv6 literal needs its brackets
    ListenAddress a;
    if (host.empty() || !ParseInteger(text.substr(colon + 1), a.port)) return std::nullopt;
    a.host = host;
    return a;
}

std::optional<double> EffectiveSeconds(const SimOptions& options) {
    if (options.seconds) return options.seconds;
    if (options.outputKind == OutputKind::File && options.output != "-") return kDefaultFileSeconds;
    return std::nullopt;
}

} // namespace vintrel::sim
