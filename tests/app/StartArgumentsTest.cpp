// The window program's command line: its options, then the old meaning of the first argument.
#include "app/StartArguments.h"

#include <gtest/gtest.h>

namespace vintrel {
namespace {

using Action = StartArguments::Action;

TEST(StartArguments, OptionsThenTheFirstArgumentTable) {
    struct Case {
        std::vector<std::string> args;
        Action action;
        const char* config;
        const char* wildcard;
        bool dump, markBigEndian;
    } const cases[] = {
        {{}, Action::Main, "", "", false, false},
        {{"-d"}, Action::Main, "", "", true, false},
        {{"-dbe"}, Action::Main, "", "", true, true},
        {{"x-debug"}, Action::Main, "", "", true, false}, // a substring is enough
        // "Backup.bkf" is looked at before "-d".
        {{"/rec/my-dumps/Backup.bkf"}, Action::Main, "", "", false, false},
        {{"/rec/base*.*"}, Action::Browse, "", "/rec/base*.*", false, false},
        // Only the first argument that is no option counts.
        {{"/rec/base*.*", "-d"}, Action::Browse, "", "/rec/base*.*", false, false},
        {{"-d", "/rec/base*.*"}, Action::Main, "", "", true, false},
        // --browse takes a folder holding "-d" as a wildcard, with either spelling.
        {{"--browse", "/rec/my-dumps/b*.*"}, Action::Browse, "", "/rec/my-dumps/b*.*", false, false},
        {{"--browse=/rec/a-dbe/b*.*"}, Action::Browse, "", "/rec/a-dbe/b*.*", false, false},
        {{"--config", "/tmp/a.config", "-dbe"}, Action::Main, "/tmp/a.config", "", true, true},
        {{"-d", "--config=c.config"}, Action::Main, "c.config", "", true, false},
        {{"--config", "-d"}, Action::Main, "-d", "", false, false}, // the value is no argument
        {{"--", "--odd*.*"}, Action::Browse, "", "--odd*.*", false, false},
        {{"--browse", "w", "--version"}, Action::Version, "", "w", false, false},
        {{"--version", "-d", "--help"}, Action::Help, "", "", true, false},
    };
    for (const Case& c : cases) {
        std::string where;
        for (const std::string& a : c.args) where += "'" + a + "' ";
        const StartArguments r = ParseStartArguments(c.args);
        EXPECT_EQ(r.action, c.action) << where << r.error;
        EXPECT_EQ(r.configFile, c.config) << where;
        EXPECT_EQ(r.browseWildcard, c.wildcard) << where;
        if (c.action == Action::Main) {
            EXPECT_EQ(r.dump, c.dump) << where;
            EXPECT_EQ(r.markBigEndian, c.markBigEndian) << where;
        }
    }
}

TEST(StartArguments, WrongOptionsAreErrorsNamingThem) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    } const cases[] = {
        {{"--xyz"}, "unknown option --xyz"},
        {{"-d", "--verbose=2", "--help"}, "unknown option --verbose"},
        {{"--Help"}, "unknown option --Help"},
        {{"--config"}, "--config needs a value"},
        {{"--browse="}, "--browse needs a value"},
        {{"--version=1"}, "--version takes no value"},
    };
    for (const Case& c : cases) {
        const StartArguments r = ParseStartArguments(c.args);
        EXPECT_EQ(r.action, Action::Error) << c.error;
        EXPECT_EQ(r.error, c.error);
    }
    const std::string usage = StartUsage();
    for (const char* named : {"--help", "--version", "--config FILE", "--browse WILDCARD", "\"Backup.bkf\"",
                              "\"-dbe\"", "\"-d\"", "anything else"})
        EXPECT_NE(usage.find(named), std::string::npos) << named;
}

} // namespace
} // namespace vintrel
