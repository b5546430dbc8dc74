// A message sink that keeps what was shown, in order.
#pragma once

#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace nvl::test {

class CaptureSink : public MessageSink {
 public:
  void Show(const std::string& caption, const std::string& text, MessageIcon icon) override {
    captions.push_back(caption);
    texts.push_back(text);
    last_icon = icon;
  }
  std::vector<std::string> captions;
  std::vector<std::string> texts;
  MessageIcon last_icon = MessageIcon::kNone;
};

}  // namespace nvl::test
