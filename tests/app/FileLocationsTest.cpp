#include "app/FileLocations.h"

#include <gtest/gtest.h>

#include <map>

namespace vintrel {

TEST(FileLocations, PortableBesideTheProgramInstalledUnderTheUsersFolders) {
    const std::string bin = "/opt/v/bin", cfg = "/vintrel/VintrelV4_0.config";
    struct Case {
        const char* name;
        const char *share, *beside; // what /opt/v/share/vintrel and the configuration beside are
        std::map<std::string, std::string> env;
        std::string documents;
        std::string config, recordings, dumps; // config empty: portable
    };
    const std::map<std::string, std::string> home = {{"HOME", "/h"}};
    // clang-format off
    const Case cases[] = {
        {"no share/vintrel", "", "", home, "/h/Docs", "", "", ""},
        {"share/vintrel a file", "file", "", home, "", "", "", ""},
        {"configuration beside", "folder", "file", home, "", "", "", ""},
        {"XDG unset, no documents", "folder", "", home, "", "/h/.config" + cfg, "/h/Vintrel", "/h/.local/state/vintrel"},
        {"XDG set, documents", "folder", "", {{"HOME", "/h/"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_STATE_HOME", "/s"}},
         "/h/Dok/", "/c" + cfg, "/h/Dok/Vintrel", "/s/vintrel"},
        {"XDG relative, documents home", "folder", "", {{"HOME", "/h"}, {"XDG_CONFIG_HOME", "c"}, {"XDG_STATE_HOME", "s"}},
         "/h", "/h/.config" + cfg, "/h/Vintrel", "/h/.local/state/vintrel"},
        {"documents relative", "folder", "", home, "Docs", "/h/.config" + cfg, "/h/Vintrel", "/h/.local/state/vintrel"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::map<std::string, std::string> kinds = {{"/opt/v/share/vintrel", c.share},
                                                          {bin + "/VintrelV4_0.config", c.beside}};
        const auto kind = [&](const std::string& p) { return kinds.count(p) ? kinds.at(p) : std::string(); };
        int asked = 0;
        const LocationInputs in{
            bin, [&](const std::string& n) { return c.env.count(n) ? c.env.at(n) : std::string(); },
            [&](const std::string& p) { return kind(p) == "folder"; },
            [&](const std::string& p) { return !kind(p).empty(); }, [&] { return ++asked, c.documents; }};
        const FileLocations f = FindFileLocations(in);
        const bool portable = c.config.empty();
        EXPECT_EQ(f.Mode, portable ? FileMode::Portable : FileMode::Installed) << c.name;
        EXPECT_EQ(f.ConfigFile, portable ? bin + "/VintrelV4_0.config" : c.config) << c.name;
        EXPECT_EQ(f.RecordingsFolder, portable ? bin : c.recordings) << c.name;
        EXPECT_EQ(f.DumpFolder, portable ? bin : c.dumps) << c.name;
        EXPECT_EQ(asked, portable ? 0 : 1) << c.name; // xdg-user-dir is run only when installed
    }
}

} // namespace vintrel
