#pragma once
// The questions and message boxes that the recorder and the record parser put to the user.
// The window answers with message boxes, the command-line tool from its options, tests from a
// script. Texts separate their lines with '\n'.
#include <string_view>

namespace vintrel {

enum class DamageAnswer { Abort, Retry, Ignore };

class UserQuestions {
public:
    virtual ~UserQuestions() = default;
    // ABORT/RETRY/IGNORE with the error icon.
    virtual DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) = 0;
    // Yes/No; true for Yes.
    virtual bool YesNo(std::string_view caption, std::string_view text) = 0;
    // An error box (error icon, OK).
    virtual void ErrorBox(std::string_view caption, std::string_view text) = 0;
    // A plain box (OK).
    virtual void MessageBox(std::string_view caption, std::string_view text) = 0;
};

} // namespace vintrel
