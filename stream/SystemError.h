#pragma once
// The system's own words for an errno value, safe on any thread (strerror_r, not strerror).
#include <cstring>
#include <string>

namespace vintrel {

namespace detail {
// strerror_r comes in two shapes: the GNU one returns the text, the POSIX one fills the buffer.
inline const char* StrerrorResult(const char* text, const char*) {
    return text;
}
inline const char* StrerrorResult(int rc, const char* buf) {
    return rc == 0 ? buf : "Unknown error";
}
} // namespace detail

inline std::string SystemErrorText(int err) {
    char buf[256] = {};
    return detail::StrerrorResult(strerror_r(err, buf, sizeof buf), buf);
}

} // namespace vintrel
