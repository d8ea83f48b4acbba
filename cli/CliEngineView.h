#pragma once
// The window's part for the verbs that run the engine (monitor, record), printed. An error that
// ends the attempt and the warning panel's last shown text are kept for the verb's own lines; a
// stream that contradicts the format or byte order is said on stderr at once, and the stream
// goes on. The frame reports and "Lost sync" reports among the messages the engine's threads
// queue are counted here as the verb takes them from the sink, handed to the engine or not.
// Threads: the verb's thread only, which plays the window thread.
#include "app/ConnectSettings.h"
#include "app/EngineView.h"
#include "cli/JsonLines.h"
#include "stream/QueueSink.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace vintrel::cli {

class CliEngineView : public EngineView {
public:
    // verb names the command in the lines printed: "vintrel-cli <verb>: ...".
    explicit CliEngineView(std::string verb) : verb_(std::move(verb)) {}

    void TcpIpError(std::string_view text) override;
    void ErrorBox(std::string_view title, std::string_view text) override;
    void Warning(std::string_view text, bool show) override;
    void FormatWarning(std::string_view text) override;
    ConnectSettings CurrentConnectSettings() const override { return settings_; }

    // With --json: warnings also as "warning" objects.
    void ReportTo(JsonReport* report) { report_ = report; }

    // The settings every connect uses, from the verb's options.
    void UseConnectSettings(const ConnectSettings& cs) { settings_ = cs; }

    // Every message taken from the sink passes here once.
    void Count(const QueuedMessage& m);

    // The error that ended the attempt to connect; empty when none was reported.
    const std::string& Failure() const { return failure_; }
    // The last text the warning panel showed ("No signal", "Lost sync"); empty when none.
    const std::string& LastWarning() const { return warning_; }
    uint64_t ChecksumErrors() const { return checksum_; }
    uint64_t InconsistentFrames() const { return inconsistent_; }
    uint64_t LostSyncReports() const { return lostSync_; }

private:
    std::string verb_;
    JsonReport* report_ = nullptr;
    ConnectSettings settings_;
    std::string failure_;
    std::string warning_;
    uint64_t checksum_ = 0;
    uint64_t inconsistent_ = 0;
    uint64_t lostSync_ = 0;
};

} // namespace vintrel::cli
