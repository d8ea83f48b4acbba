#pragma once
#include "recording/ParseProgress.h"
#include "recording/RecordParser.h"
#include "recording/UserQuestions.h"

namespace vintrel::cli {

// vintrel-cli parse ... (see --help)
int RunParse(int argc, char** argv, int first);

// The user's part in a parse without a window: damage is answered as --on-damage says, boxes are
// printed on standard error.
class CliQuestions : public UserQuestions {
public:
    explicit CliQuestions(DamageAnswer onDamage) : onDamage_(onDamage) {}
    DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) override;
    bool YesNo(std::string_view caption, std::string_view text) override;
    void ErrorBox(std::string_view caption, std::string_view text) override;
    void MessageBox(std::string_view caption, std::string_view text) override;
    bool Asked() const { return asked_; }

private:
    DamageAnswer onDamage_;
    bool asked_ = false;
};

// "marker" or "exact"; false for anything else.
bool ParseGapFill(const std::string& text, GapFill& out);
// "retry", "ignore" or "abort"; false for anything else.
bool ParseOnDamage(const std::string& text, DamageAnswer& out);
// A progress bar on a terminal (nothing otherwise): percent, -1 ends the bar.
class TerminalProgress : public ParseProgress {
public:
    explicit TerminalProgress(const char* label);
    void ParseProgressChanged(int percent) override;

private:
    const char* label_;
    bool terminal_;
};
// The status line, the diagnosis values when the panel would show, and the files written.
void PrintParseOutcome(const ParseOutcome& o);
// The folder for --out: made absolute; empty when it is no folder, with error naming it and the
// system's reason ("--out /x/y: No such file or directory").
std::string OutputFolder(const std::string& dir, std::string& error);
// A --base that names a folder (a/b) whose folder is missing or no folder: the text that names
// it and the reason; empty when the base is fine.
std::string BaseNameError(const std::string& folder, const std::string& base);

} // namespace vintrel::cli
