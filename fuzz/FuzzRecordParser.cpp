// The record parser on an arbitrary raw record: the file is written to a scratch folder and
// parsed into WAV files and reports there, which are removed afterwards. Byte 0 chooses the
// protocol, format and checksum check; the rest is the record. At damage the parse goes on
// without asking, as "vintrel-cli parse" does by default.
#include "fuzz/FuzzInput.h"
#include "recording/RecordParser.h"
#include "stream/QueueSink.h"

#include <filesystem>

namespace {

using namespace vintrel;

class GoOn : public UserQuestions {
public:
    DamageAnswer AbortRetryIgnore(std::string_view, std::string_view) override {
        return DamageAnswer::Ignore;
    }
    bool YesNo(std::string_view, std::string_view) override { return true; }
    void ErrorBox(std::string_view, std::string_view) override {}
    void MessageBox(std::string_view, std::string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    fuzz::FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const std::string dir = fuzz::ScratchFolder() + "/parse";
    fs::create_directories(dir);
    const std::string record = dir + "/in.$$$";
    if (!fuzz::WriteFile(record, in.Rest(), in.RestSize())) return 0;

    QueueSink sink;
    GoOn questions;
    RecordParser parser(sink, questions);
    ParseRequest request;
    request.ProtocolType = options & 1 ? 0 : 1;
    request.Format = GetStreamFormat(DataStreamFormat((options >> 1) % kFormatCount));
    request.VerifyChecksum = !(options & 0x80);
    request.Settings.ProgramFolder = dir;
    request.Settings.FileNameBase = "rec";
    request.Settings.IncludeTimeStamp = false;
    request.Settings.DeleteRawRecord = false;
    parser.ParseRecordedAudio(record, request);

    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) fs::remove(e.path(), ec);
    return 0;
}
