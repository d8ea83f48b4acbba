#pragma once
// Where record writes its raw record: the file --raw names, or "temp.$$$" in the output folder;
// a raw record that is kept there never overwrites an earlier one unless --force is given
// (temp-1.$$$, temp-2.$$$, ... instead).
#include <optional>
#include <string>

namespace vintrel::cli {

struct RawRecordChoice {
    std::string Path;  // the raw record's path; empty: the recorder's own "temp.$$$"
    std::string Error; // why the choice is refused (the raw record exists); empty when it is not
};

RawRecordChoice ChooseRawRecord(const std::string& folder, const std::optional<std::string>& raw, bool keep,
                                bool force);

} // namespace vintrel::cli
