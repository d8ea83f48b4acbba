#include "app/FileLocations.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vintrel {

namespace {

// The XDG base folders count only when absolute; otherwise the fallback under the home folder.
std::string XdgFolder(const LocationInputs& in, const char* variable, const std::string& home,
                      const char* fallback) {
    const std::string v = in.Env(variable);
    return !v.empty() && v[0] == '/' ? v : home + fallback;
}

std::string Parent(const std::string& folder) {
    const std::filesystem::path p = std::filesystem::path(folder).lexically_normal();
    return (p.has_filename() ? p : p.parent_path()).parent_path().string();
}

} // namespace

FileLocations FindFileLocations(const LocationInputs& in) {
    FileLocations out;
    const std::string beside = in.ProgramFolder + "/" + kConfigFileName;
    const bool shared = in.IsFolder(Parent(in.ProgramFolder) + "/share/vintrel");
    if (!shared || in.Exists(beside)) {
        out.ConfigFile = beside;
        out.RecordingsFolder = in.ProgramFolder;
        out.DumpFolder = in.ProgramFolder;
        return out;
    }
    out.Mode = FileMode::Installed;
    std::string home = in.Env("HOME");
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    out.ConfigFile = XdgFolder(in, "XDG_CONFIG_HOME", home, "/.config") + "/vintrel/" + kConfigFileName;
    out.DumpFolder = XdgFolder(in, "XDG_STATE_HOME", home, "/.local/state") + "/vintrel";
    // xdg-user-dir names the home folder itself when no documents folder is set.
    std::string documents = in.DocumentsFolder ? in.DocumentsFolder() : std::string();
    while (documents.size() > 1 && documents.back() == '/') documents.pop_back();
    const bool useful = !documents.empty() && documents[0] == '/' && documents != home;
    out.RecordingsFolder = (useful ? documents : home) + "/Vintrel";
    return out;
}

LocationInputs SystemLocationInputs(const std::string& programFolder) {
    LocationInputs in;
    in.ProgramFolder = programFolder;
    in.Env = [](const std::string& name) {
        const char* v = std::getenv(name.c_str());
        return std::string(v ? v : "");
    };
    in.IsFolder = [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::is_directory(path, ec);
    };
    in.Exists = [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::exists(path, ec);
    };
    return in;
}

bool MakeFolder(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    fs::path made;
    for (const fs::path& part : fs::path(folder).lexically_normal()) {
        made /= part;
        if (part.empty() || fs::is_directory(made, ec)) continue;
        if (!fs::create_directory(made, ec) && ec) {
            error = made.string() + ": " + ec.message();
            return false;
        }
        fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    if (fs::is_directory(folder, ec)) return true;
    error = folder + ": not a folder";
    return false;
}

} // namespace vintrel
