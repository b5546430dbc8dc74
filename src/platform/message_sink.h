// Operator messages ("message boxes").  With a window they are dialogs; without one the text is
// written to stderr unchanged.  Tests install a sink of their own to see what was shown.
#pragma once

#include <string>

namespace nvl {

enum class MessageIcon { kNone, kInformation, kWarning, kError };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
};

// Writes the text to stderr, followed by a line end when it has none.
class StderrMessageSink : public MessageSink {
 public:
  void Show(const std::string& caption, const std::string& text, MessageIcon icon) override;
};

// The process-wide sink; stderr until one is installed.
MessageSink& Messages();
// Installs `sink` (not owned); nullptr goes back to stderr.
void SetMessageSink(MessageSink* sink);

// Shorthand for a message box without caption or icon.
void ShowMessage(const std::string& text);

}  // namespace nvl
