#include "recording/PskReports.h"

#include "stream/SystemError.h"
#include "stream/Text.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

namespace vintrel {

namespace {
constexpr const char* kEol = "\r\n";
constexpr const char* kPskTxt = "PSK.txt";

} // namespace

bool WriteTextFile(FileSystem& files, const std::string& path, const std::string& text, std::string& error) {
    int err = 0;
    std::unique_ptr<File> f = files.Open(path, OpenMode::CreateAlways, err);
    if (f) {
        f->WriteAt(text.data(), text.size(), 0, err);
        // A full disk may show only when the close writes the data out.
        if (const int closeErr = f->Close(); closeErr != 0 && err == 0) err = closeErr;
        // A report cut short is no report. Only a file of our own goes, never what a link
        // points at or the link itself.
        FileStatus st;
        if (err != 0 && files.Status(path, st, false) == 0 && st.Kind == FileKind::Regular)
            files.Remove(path);
    }
    if (err != 0) error = "Can't write '" + path + "': " + SystemErrorText(err);
    return err == 0;
}

namespace {

bool WriteText(FileSystem& files, const std::string& path, const std::string& text, ReportResult& r) {
    std::string error;
    if (WriteTextFile(files, path, text, error)) {
        r.Written.push_back(path);
        return true;
    }
    if (r.Error.empty()) r.Error = error;
    return false;
}

// headname with its trailing "PSK.txt" replaced.
std::string ReplacePskTxt(const std::string& headname, const std::string& with) {
    const size_t n = std::strlen(kPskTxt);
    if (headname.size() >= n && headname.compare(headname.size() - n, n, kPskTxt) == 0)
        return headname.substr(0, headname.size() - n) + with;
    return headname + with;
}
} // namespace

std::string OldPskTextReport(const uint16_t* t) {
    std::string s = "Kalimba Vexil Version " + std::to_string(t[1]) + kEol + kEol + "=== State of PSKeys ===";
    for (int g = 0; g < 3; ++g) {
        const PskGroup grp = OldPskGroup(t, g);
        s += kEol;
        s += kEol;
        if (grp.Length > 0)
            s += std::string(PskName[g]) + " PSKey 0x" + Hex4(grp.Key) + ", length is " +
                 std::to_string(grp.Length) + kEol;
        s += HexWords(t + grp.DataIndex, grp.Length);
    }
    return s;
}

std::string KalimbaPsrReport(const uint16_t* profile, int fullWords) {
    std::string s;
    for (int g = 0; g < 3; ++g) {
        const PskGroup grp = KalimbaGroup(profile, fullWords, g);
        if (g == 1 && (grp.Key == 0 || profile[3] == 0 || fullWords < 4)) continue;
        s += "&" + Hex4(grp.Key) + " = " + HexWords(profile + grp.DataIndex, grp.Length) + kEol;
    }
    return s;
}

std::string GeneralProfileSource(const uint16_t* profile, int fullWords,
                                 const TNewProtHeaderScarceData& scarce, const std::string& date,
                                 const std::string& caption) {
    std::string s = std::string("/*") + kEol;
    s += "  Profile structure version: " + scarce.VexilprofileNum + kEol;
    s += "  Date: " + date + kEol;
    s += "  Vexil version: " + scarce.Vexilrevision + kEol;
    s += "  Target h/w platform: " + scarce.PlatformID + kEol;
    s += "  Profile notes: This profile is saved by " + caption + kEol;
    s += std::string("*/") + kEol + "{" + kEol;
    for (int i = 0; i < fullWords; ++i) s += "0x" + Hex4(profile[i]) + (i + 1 < fullWords ? "," : "") + kEol;
    s += std::string("},") + kEol;
    return s;
}

std::string ReportDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char s[64];
    std::strftime(s, sizeof s, "%x %X", &local);
    return s;
}

ReportResult WritePskReports(FileSystem& files, const ProfileSnapshot& p, std::string& headname,
                             const std::string& caption) {
    ReportResult r;
    const std::string pskTxt = headname;
    const int full = std::max<int>(0, std::min<int>(p.Scarce.FullProfileWords, kPskTabWords));
    if (p.ProtocolType == 1 && p.CheckPsk > 1) {
        const std::string& platform = p.Scarce.PlatformID;
        if (platform == "Kalimba") {
            headname = ReplacePskTxt(headname, "prf" + p.Scarce.VexilprofileNum + "rev" +
                                                   p.Scarce.Vexilrevision + "_PSK.psr");
            WriteText(files, headname, KalimbaPsrReport(p.LastPsk.data(), full), r);
        } else if (platform == "General") {
            WriteText(files, ReplacePskTxt(headname, "profile.c"),
                      GeneralProfileSource(p.LastPsk.data(), full, p.Scarce, ReportDateTime(), caption), r);
        }
    }
    // Whatever the protocol: a valid old-protocol key table whose first group holds 5 words or more.
    if (p.CheckPsk >= 1 && OldPskTableEnd(p.PskTab.data(), p.PskTab.size()) > 0 && p.PskTab[3] >= 5)
        WriteText(files, pskTxt, OldPskTextReport(p.PskTab.data()), r);
    return r;
}

} // namespace vintrel
