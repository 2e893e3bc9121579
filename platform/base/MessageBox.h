#pragma once
// Message boxes. Every routine shows its messages through MsgBox; where they appear depends on
// the host: the window shows a modal dialog, the batch command prints a line to standard error,
// and tests record them.

#include <functional>
#include <string>

namespace quillane {

// Message-box styles the program uses.
constexpr int vbOKOnly = 0;        // an OK button alone
constexpr int vbExclamation = 48;  // an OK button and the exclamation (warning) icon

// The title shown when a message box has no title of its own.
inline constexpr const char* kApplicationTitle = "Quillane";

struct MessageBoxRequest {
    std::string Prompt;
    int Style = vbOKOnly;
    std::string Title;  // never empty: MsgBox fills in the application title
};

// Shows the message and returns when it has been dismissed.
using MessageBoxPresenter = std::function<void(const MessageBoxRequest&)>;

// Replaces the presenter and returns the previous one. With none installed, MsgBox prints to
// standard error.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Modal message box with an OK button; an empty title shows the application title.
void MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = {});

// Formats a message as the batch command prints it: "Title: prompt" (with the icon as a word).
std::string FormatMessageLine(const MessageBoxRequest& request);

}  // namespace quillane
