#include "platform/message_sink.h"

#include <atomic>
#include <cstdio>

namespace nvl {
namespace {

StderrMessageSink g_stderr_sink;
std::atomic<MessageSink*> g_sink{nullptr};

}  // namespace

void StderrMessageSink::Show(const std::string& /*caption*/, const std::string& text,
                             MessageIcon /*icon*/) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

MessageSink& Messages() {
  MessageSink* s = g_sink.load();
  return s != nullptr ? *s : g_stderr_sink;
}

void SetMessageSink(MessageSink* sink) {
  g_sink.store(sink);
}

void ShowMessage(const std::string& text) {
  Messages().Show("", text, MessageIcon::kNone);
}

}  // namespace nvl
