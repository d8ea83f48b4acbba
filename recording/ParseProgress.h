#pragma once
// The progress bar of a record parse.
//
// Threads: called on the thread that runs the parse.
namespace vintrel {

class ParseProgress {
public:
    virtual ~ParseProgress() = default;
    // Percent of the record consumed; -1 hides the bar.
    virtual void ParseProgressChanged(int percent) {}
};

} // namespace vintrel
