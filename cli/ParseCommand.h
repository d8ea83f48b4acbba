#pragma once
#include "cli/JsonLines.h"
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
    // report: the boxes also as "warning" (errors as "error") objects when --json is on.
    explicit CliQuestions(DamageAnswer onDamage, JsonReport* report = nullptr)
        : onDamage_(onDamage), report_(report) {}
    DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) override;
    bool YesNo(std::string_view caption, std::string_view text) override;
    void ErrorBox(std::string_view caption, std::string_view text) override;
    void MessageBox(std::string_view caption, std::string_view text) override;
    bool Asked() const { return asked_; }

private:
    void Box(std::string_view caption, std::string_view text, bool error);
    DamageAnswer onDamage_;
    JsonReport* report_;
    bool asked_ = false;
};

// "marker" or "exact"; false for anything else.
bool ParseGapFill(const std::string& text, GapFill& out);
// "retry", "ignore" or "abort"; false for anything else.
bool ParseOnDamage(const std::string& text, DamageAnswer& out);
// A progress bar on a terminal (nothing otherwise): percent, -1 ends the bar. `to`: standard
// output, or standard error while standard output carries JSON Lines.
class TerminalProgress : public ParseProgress {
public:
    explicit TerminalProgress(const char* label, std::FILE* to = stdout);
    void ParseProgressChanged(int percent) override;

private:
    const char* label_;
    std::FILE* to_;
    bool terminal_;
};
// The status line, the diagnosis values when the panel would show, and the files written, as
// text; a "gap" object per break in the numbering.
void PrintParseOutcome(const ParseOutcome& o, JsonReport& report);
// The parse's part of a "summary": fragments, checksum errors, frames, status and files written.
JsonObject& AddParseSummary(JsonObject& summary, const ParseOutcome* o);
// The folder for --out: made absolute; empty when it is no folder, with error naming it and the
// system's reason ("--out /x/y: No such file or directory").
std::string OutputFolder(const std::string& dir, std::string& error);
// A --base that names a folder (a/b) whose folder is missing or no folder: the text that names
// it and the reason; empty when the base is fine.
std::string BaseNameError(const std::string& folder, const std::string& base);

} // namespace vintrel::cli
