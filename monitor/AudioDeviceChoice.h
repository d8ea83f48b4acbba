#pragma once
// Which output device the settings list selects at start-up.
#include <string>
#include <vector>

namespace vintrel {

// Every device whose lower-cased name contains `configured` (kept in lower case) is selected in
// turn, so the last such one wins; an empty text matches nothing; with no match, entry 0.
// Returns -1 for an empty list.
int AudioEnum(const std::vector<std::string>& names, const std::string& configured);

} // namespace vintrel
