// The configuration reader on an arbitrary file. What it reads is written back and read again
// until the written file settles: whatever the reader accepts must survive saving unchanged.
#include "app/ConfigFile.h"
#include "fuzz/FuzzInput.h"
#include "stream/QueueSink.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vintrel;
    const std::string path = fuzz::ScratchFolder() + "/VintrelV4_0.config";
    if (!fuzz::WriteFile(path, data, size)) return 0;
    QueueSink sink;
    AppSettings first;
    if (!Tune(path, first, &sink)) return 0;
    TagModel tags;
    SetTagsFromSettingsFile(tags, first.SelectedNames);
    (void)SelectedNamesOf(tags);

    // One round trip settles what the reader normalises (the audio device is kept in lower case,
    // so the default "None" comes back as "none"); from then on the file must stay as it is.
    std::string error;
    if (!SaveSettings(path, first, error)) std::abort();
    AppSettings second;
    if (!Tune(path, second, &sink)) std::abort();
    if (!SaveSettings(path, second, error)) std::abort();
    const std::string written = Slurp(path);
    AppSettings third;
    if (!Tune(path, third, &sink)) std::abort();
    if (!SaveSettings(path, third, error)) std::abort();
    const std::string again = Slurp(path);
    if (again != written) {
        std::fprintf(stderr, "first writing:\n%s\nsecond writing:\n%s\n", written.c_str(), again.c_str());
        std::abort();
    }
    return 0;
}
