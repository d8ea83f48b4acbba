#pragma once
// How the worker threads reach the window thread: thread messages with (wParam, lParam),
// status-line updates and the counter labels. The GUI posts Qt events; the command-line
// tool and the tests queue them. Every call may come from any thread and must not block.
#include <cstdint>
#include <string_view>

namespace vintrel {

enum : uint32_t {
    WM_FRAMES_READY = 0x914,     // wParam: last frame buffer of the batch
    WM_TRANSPORT_REPORT = 0x915, // wParam: TTransport; lParam 0 "No signal", 1 "Lost sync"
    WM_TCPIP_RECONNECT = 0x917,
    WM_FRAME_REPORT = 0x918, // wParam 0 inconsistent number (lParam: frames since start), 12 checksum/tag
    WM_LINK_LOST = 0x919, // wParam: TTransport; the port hung up or failed (a lost TCP connection asks 0x917)
};
constexpr uintptr_t kReportInconsistent = 0;
constexpr uintptr_t kReportChecksum = 12;

enum class StatStyle : uint8_t { Normal, Bold, BoldRed };

// How long a status text stays (the window's StatusLine keeps the rule).
enum class StatKind : uint8_t {
    Routine,  // progress and states: the next text replaces it; it never replaces a sticky one
    Sticky,   // a message the user must not miss: it stays until the user's next click or key in
              // the window, a newer sticky text or a clear aimed at it. Bold texts are sticky
              // whatever kind they are given.
    OnChange, // a routine text a source repeats (the target's platform line): shown only when it
              // differs from the last text of this kind
};

// The labels the parsing thread refreshes.
enum class CounterLabel : uint8_t { TotalFrames, TotalTimeSec, ChecksumErrors, InconsistentFrames };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void SetStat(std::string_view text, StatStyle style, StatKind kind) = 0;
    void SetStat(std::string_view text, StatStyle style) { SetStat(text, style, StatKind::Routine); }
    // Clears the status line when it contains, ignoring case, one of `words`; a sticky text too,
    // as the clear is aimed at its words.
    virtual void ClearStatIfContains(const std::string_view* words, int count) = 0;
    virtual void SetCounter(CounterLabel label, int64_t value) = 0;
};

} // namespace vintrel
