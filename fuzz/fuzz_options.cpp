// Fuzz target for the command text: option recognition takes any text, ends with one of its exit
// codes or goes on, and never reads outside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/options.h"
#include "platform/message_sink.h"

namespace {

class QuietSink : public nvl::MessageSink {
 public:
  void Show(const std::string&, const std::string&, nvl::MessageIcon) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietSink sink;
  nvl::SetMessageSink(&sink);
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const char* argv[] = {"nvl7310-mptool", raw.c_str()};
  CmdLineOptions o;
  o.m_strCmdLine = BuildCommandText(2, argv);
  const bool had_text = !o.m_strCmdLine.empty();
  const auto code = RecognizeOptions(o);
  if (code && *code != 0 && *code != -1 && *code != -10) std::abort();
  if (!code && o.m_bCmdLine != had_text) std::abort();
  nvl::SetMessageSink(nullptr);
  return 0;
}
