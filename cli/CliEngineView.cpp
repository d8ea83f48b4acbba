#include "cli/CliEngineView.h"

#include <cstdio>

namespace vintrel::cli {

void CliEngineView::TcpIpError(std::string_view text) {
    failure_ = "TCP/IP error: " + std::string(text);
}

void CliEngineView::ErrorBox(std::string_view title, std::string_view text) {
    failure_ = std::string(title) + ": " + std::string(text);
}

void CliEngineView::Warning(std::string_view text, bool show) {
    if (!show) return;
    if (report_ && !text.empty() && text != warning_) report_->Warning(text);
    warning_ = text;
}

void CliEngineView::FormatWarning(std::string_view text) {
    if (text.empty()) return;
    std::fprintf(stderr, "\nvintrel-cli %s: %.*s\n", verb_.c_str(), int(text.size()), text.data());
    if (report_) report_->Warning(text);
}

void CliEngineView::Count(const QueuedMessage& m) {
    if (m.Msg == WM_FRAME_REPORT)
        ++(m.WParam == kReportChecksum ? checksum_ : inconsistent_);
    else if (m.Msg == WM_TRANSPORT_REPORT && m.LParam)
        ++lostSync_;
}

} // namespace vintrel::cli
