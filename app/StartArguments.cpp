#include "app/StartArguments.h"

namespace vintrel {

StartArguments ParseStartArguments(const std::vector<std::string>& args) {
    StartArguments r;
    bool help = false, version = false, browse = false, optionsEnd = false;
    const std::string* first = nullptr; // the first argument that is no option
    const auto fail = [&r](std::string text) {
        r = StartArguments{};
        r.action = StartArguments::Action::Error;
        r.error = std::move(text);
        return r;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.rfind("--", 0) != 0) {
            if (!first) first = &a; // later ones are ignored, as they always were
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool hasValue = false;
        if (const size_t eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        if (name == "--help" || name == "--version") {
            if (hasValue) return fail(name + " takes no value");
            (name == "--help" ? help : version) = true;
            continue;
        }
        if (name != "--config" && name != "--browse") return fail("unknown option " + name);
        if (!hasValue) {
            if (i + 1 >= args.size()) return fail(name + " needs a value");
            value = args[++i];
        }
        if (value.empty()) return fail(name + " needs a value");
        if (name == "--config") {
            r.configFile = value;
        } else {
            r.browseWildcard = value;
            browse = true;
        }
    }
    if (help) {
        r.action = StartArguments::Action::Help;
    } else if (version) {
        r.action = StartArguments::Action::Version;
    } else if (browse) {
        r.action = StartArguments::Action::Browse;
    } else if (first && !first->empty() && first->find("Backup.bkf") == std::string::npos) {
        if (first->find("-d") == std::string::npos) {
            r.action = StartArguments::Action::Browse;
            r.browseWildcard = *first;
        } else {
            r.dump = true;
            r.markBigEndian = first->find("-dbe") != std::string::npos;
        }
    }
    return r;
}

std::string StartUsage() {
    return "Usage: vintrel [--config FILE] [ARGUMENT]\n"
           "       vintrel --browse WILDCARD\n"
           "       vintrel --help | --version\n"
           "Records and monitors the diagnostic stream of a voice DSP target.\n"
           "\n"
           "Options:\n"
           "  --config FILE       use FILE as the configuration file (read at start, written at\n"
           "                      close), so that several copies can serve several targets\n"
           "  --browse WILDCARD   show only the \"Open recorded files\" dialog on the files that\n"
           "                      WILDCARD matches (FOLDER/NAME*.*) and open each file picked\n"
           "  --help              show this text\n"
           "  --version           print the version\n"
           "\n"
           "ARGUMENT (only the first is looked at):\n"
           "  containing \"Backup.bkf\"  normal start\n"
           "  containing \"-dbe\"        start with the debug dump, chunks marked big-endian\n"
           "  containing \"-d\"          start with the debug dump\n"
           "  anything else            as --browse ARGUMENT\n"
           "\n"
           "SIGTERM and SIGINT close the main window as its close button does.\n"
           "Exit status: 0 done, 1 the window could not start, 2 usage error.\n";
}

} // namespace vintrel
