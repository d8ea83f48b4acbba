#pragma once
// Where the window program keeps its files. Portable: the configuration, the records, the reports
// and the dumps beside the program, as a copy unpacked anywhere has them. Installed (a
// share/vintrel folder beside the program's bin folder and no configuration beside the program):
// the configuration under $XDG_CONFIG_HOME/vintrel, the records and reports in the user's
// recordings folder, the dumps under $XDG_STATE_HOME/vintrel.
//
// The environment, the file system and the documents folder are asked through the inputs, so
// that the rules can be followed without the real ones.
#include <functional>
#include <string>

namespace vintrel {

// The configuration file's name in both modes, whatever the program file is called.
constexpr const char* kConfigFileName = "VintrelV4_0.config";

enum class FileMode { Portable, Installed };

struct LocationInputs {
    std::string ProgramFolder; // the folder of the program file, absolute
    // The variable's value; empty when it is not set.
    std::function<std::string(const std::string& name)> Env;
    std::function<bool(const std::string& path)> IsFolder;
    std::function<bool(const std::string& path)> Exists;
    // What `xdg-user-dir DOCUMENTS` prints, trimmed; empty when it cannot be run. Asked only in
    // installed mode.
    std::function<std::string()> DocumentsFolder;
};

struct FileLocations {
    FileMode Mode = FileMode::Portable;
    std::string ConfigFile;
    std::string RecordingsFolder; // the default of the "Recordings folder" setting
    std::string DumpFolder;       // the debug dumps of "-d"
};

FileLocations FindFileLocations(const LocationInputs& in);

// The process's own environment and file system; DocumentsFolder is left to the caller.
LocationInputs SystemLocationInputs(const std::string& programFolder);

// Creates `folder` and the missing folders above it, each readable by its owner only. True when
// the folder is there afterwards; false with the reason otherwise.
bool MakeFolder(const std::string& folder, std::string& error);

} // namespace vintrel
