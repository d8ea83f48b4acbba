// Channel names typed into the configuration file's selections. A name the reader understands
// names its tag again when written back.
#include "fuzz/FuzzInput.h"
#include "stream/Tags.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vintrel;
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const int16_t tag = GetTagFromParName(name);
    const std::optional<int16_t> tried = TryGetTagFromParName(name);
    if (tried ? *tried != tag : tag != 0) std::abort();
    if (tag != 0) {
        const std::string back = GetParNameFromTag(uint16_t(tag), kMaxTagForLists);
        if (GetTagFromParName(back) != tag) std::abort();
    }
    return 0;
}
