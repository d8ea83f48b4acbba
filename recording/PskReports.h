#pragma once
// The PS-key and profile files written beside the WAV files of a record: the old-protocol text
// report "PSK.txt", the Kalimba key file "_PSK.psr" and the General "profile.c". Text files have
// CR LF line ends.
#include "recording/FileSystem.h"
#include "recording/ProfileSnapshot.h"

#include <string>
#include <vector>

namespace vintrel {

// "Kalimba Vexil Version ..." and the three groups of a valid old-protocol table.
std::string OldPskTextReport(const uint16_t* pskTab);
// "&KEY = data ..." lines of a Kalimba profile.
std::string KalimbaPsrReport(const uint16_t* profile, int fullWords);
// The profile as a C initialiser with a comment naming the target; `date` is the local date and time.
std::string GeneralProfileSource(const uint16_t* profile, int fullWords,
                                 const TNewProtHeaderScarceData& scarce, const std::string& date,
                                 const std::string& caption);
// The system's short date and long time of now.
std::string ReportDateTime();

// `text` into `path` whole, or no file: a file cut short (a full disk shows when the close
// flushes) is removed, and `error` names the path and the system's reason.
bool WriteTextFile(FileSystem& files, const std::string& path, const std::string& text, std::string& error);

struct ReportResult {
    std::vector<std::string> Written; // paths of the files written
    std::string Error;                // a file that could not be written, with the reason
};

// The reports at the end of a record parse. `headname` (folder + base + stamp + "PSK.txt") becomes
// the name of the Kalimba key file when one is written.
ReportResult WritePskReports(FileSystem& files, const ProfileSnapshot& p, std::string& headname,
                             const std::string& caption);

} // namespace vintrel
