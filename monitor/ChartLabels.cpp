#include "monitor/ChartLabels.h"

namespace vintrel {

std::string YvalLog(int h, int sl) {
    const std::string v = std::to_string(6 * h - 36 - sl);
    const char* after = v.size() == 1 ? "   " : v.size() == 2 ? "  " : "";
    return "   " + v + after;
}

std::string YvalAmpl(int h, int sl) {
    if (h == 6) {
        static const char* const kFullScale[] = {"32K", "16K", " 8K", " 4K", " 2K",
                                                 " 1K", "512", "256", "128"};
        const int i = sl / 6;
        return std::string(i >= 0 && i < 9 ? kFullScale[i] : "") + "   ";
    }
    return "0." + std::to_string(2 * h - 2) + "   ";
}

} // namespace vintrel
