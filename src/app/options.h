// The command line: the command text, the options recognised in it, and the texts that go with
// them.  Options are found as substrings anywhere in the text (no token boundaries), in a fixed
// order, and each recognised option is removed before the next is looked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* kProgramName = "NVL7310 MPTool";
inline constexpr const char* kProgramVersion = "Ver 1.1.2.2";

struct CmdLineOptions {
  std::string m_strCmdLine{};
  bool m_bCmdLine = false;
  bool m_bAutoMode = false;
  bool m_bSilent = false;
  bool m_bShowFWVersion = false;
  bool m_bCompareFWVersion = false;
  bool m_bOutputVersionFile = false;
  bool m_bCompareSubSysID = false;
  bool m_bAssignPciAddress = false;
  bool m_bSignalTest = false;
  bool m_bFixtureTest = false;
  uint8_t m_ucAssignBus = 0;
  uint8_t m_ucAssignDevice = 0;
  uint8_t m_ucAssignFunction = 0;
  uint8_t m_ucTestPort = 0;
  uint8_t m_ucTestSpeed = 0;
  std::string m_strInputVersion{};
  std::string m_strInputSubSysID{};
};

// The command text of the process: the arguments joined by one blank, with every tab and
// line-feed character deleted.
std::string BuildCommandText(int argc, const char* const* argv);

// Recognises the options in opts.m_strCmdLine.  Messages for missing values (and the usage text
// for "/?") are shown through the message sink.  Returns the exit code when recognition ends
// the process, nullopt when start-up goes on.
std::optional<int> RecognizeOptions(CmdLineOptions& opts);

// The usage text, the console banner and the window title.
std::string UsageText();
std::string BannerText();
std::string WindowTitle();
