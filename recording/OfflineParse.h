#pragma once
// "Parse Offline (expert)": a saved raw record or a captured dump parsed into WAV files as after
// a recording, a big-endian one through a byte-swapped copy that is always removed afterwards.
#include "recording/RecordParser.h"
#include "stream/FormatCheck.h"

#include <string>

namespace vintrel {

struct OfflineRequest {
    std::string FileName;   // the chosen file; empty: the dialog was cancelled
    int ProtocolType = -2;  // in force; negative: unknown, the user is asked for this parse
    bool BigEndian = false; // "Big Endian": every word of the file is high byte first
    std::string SwapFolder; // where the swapped copy is made; empty: beside the chosen file
    ParseRequest Parse;     // format, checksum, settings, profile; its protocol is set here
};

// Nothing parsed (and the outcome not Opened) when the dialog was cancelled or the swapped copy
// could not be made.
ParseOutcome ParseOffline(RecordParser& parser, const OfflineRequest& request);

// The swapped copy's name: folder + file name + "_LEnd" + extension (rec.$$$ -> rec.$$$_LEnd.$$$),
// in `folder` when one is given, else beside the chosen file.
std::string SwapFileName(const std::string& chosen, const std::string& folder = "");

// The protocol of the first frame marker in a file: 1 new, 0 old; -1 when there is none,
// -2 when the file cannot be read. The old marker is looked for in the given byte order.
int DetectRecordProtocol(FileSystem& files, const std::string& path, bool bigEndian);

// What the frames at the start of a record or dump say against the chosen format and byte
// order (nothing when the file cannot be read: the parse reports that).
FormatFinding CheckRecordFormat(FileSystem& files, const std::string& path, bool bigEndian,
                                DataStreamFormat format);

} // namespace vintrel
