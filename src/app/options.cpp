#include "app/options.h"

#include <cctype>
#include <climits>

#include "platform/message_sink.h"
#include "platform/text.h"

namespace {

// A location part longer than this is refused: cutting it could name another board.
constexpr size_t kMaxLocationPart = 7;

bool Contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

void RemoveAll(std::string& text, const std::string& what) {
  if (what.empty()) return;
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(what, from)) != std::string::npos; from = at + what.size()) {
    out.append(text, from, at - from);
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

// Recognises "/x": true when its lower- or upper-case form occurs; removes all of both forms.
bool Take(std::string& text, char letter) {
  const std::string lower{'/', static_cast<char>(std::tolower(letter))};
  const std::string upper{'/', static_cast<char>(std::toupper(letter))};
  if (!Contains(text, lower) && !Contains(text, upper)) return false;
  RemoveAll(text, lower);
  RemoveAll(text, upper);
  return true;
}

// Port and speed: the first two decimal digits of the text, wherever they stand.
void PortAndSpeed(const std::string& text, uint8_t& port, uint8_t& speed) {
  size_t i = 0;
  while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i])))
    ++i;
  if (i == text.size()) return;
  port = static_cast<uint8_t>(text[i] - '0');
  for (++i; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      speed = static_cast<uint8_t>(text[i] - '0');
      return;
    }
  }
}

void Show(const std::string& caption, const std::string& text) {
  nvl::Messages().Show(caption, text, nvl::MessageIcon::kNone);
}

}  // namespace

std::string BuildCommandText(int argc, const char* const* argv) {
  std::string raw;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) raw.push_back(' ');
    raw += argv[i];
  }
  std::string text;
  for (char c : raw) {
    if (c != '\t' && c != '\n') text.push_back(c);
  }
  return text;
}

std::string UsageText() {
  return std::string(kProgramName) + ".exe " + kProgramVersion +
         "\r\n"
         "Usage: NVL7310 MPTool  [/? |  /A | /S | /O | /D | /I | /T | /P | /G | /F] \r\n"
         "OPTIONS\r\n"
         " /A\t\t\tAuto Mode\r\n"
         " /S\t\t\tSilent\r\n"
         " /O\t\t\tOutput version text file \r\n"
         " /T [ Version ]\t\tCompare FW Version\r\n"
         " /I [ SSID/SVID ]\t\tCompare SSID/SVID\r\n"
         " /D\t\t\tShow FW Version\r\n"
         " /P [Bus:Device:Function ]\tAssign PCI Address\r\n"
         " /G\t\t\tSet port and speed of Signal Test\r\n"
         " \t\t[Port] --- 1: Port 1  2: Port 2\r\n"
         " \t\t[Speed]-- 1: USB 2   2: USB3   4: USB 3.1\r\n"
         " /F\t\t\tSet port and speed of Fixture Test\r\n"
         " \t\t[Port] --- 1: Port 1  2: Port 2\r\n"
         " \t\t[Speed]-- 1: USB 2   2: USB3   4: USB 3.1\r\n";
}

std::string BannerText() {
  return std::string("===================") + kProgramName + " (" + kProgramVersion +
         ")=========================\r\n";
}

std::string WindowTitle() {
  return std::string(kProgramName) + " " + kProgramVersion;
}

std::optional<int> RecognizeOptions(CmdLineOptions& o) {
  std::string& text = o.m_strCmdLine;

  if (Contains(text, "/?")) {
    RemoveAll(text, "/?");
    Show(kProgramName, UsageText());
    return 0;
  }
  if (!text.empty()) o.m_bCmdLine = true;
  if (Take(text, 'a')) o.m_bAutoMode = true;
  if (Take(text, 's')) o.m_bSilent = true;
  if (Take(text, 'd')) o.m_bShowFWVersion = true;
  if (Take(text, 't')) {
    o.m_bCompareFWVersion = true;
    text = nvl::TrimWhiteSpace(text);
    o.m_strInputVersion = text;
    if (o.m_strInputVersion.empty()) {
      Show("", "Please Input Version!!\r\n");
      return -1;
    }
  }
  if (Take(text, 'o')) o.m_bOutputVersionFile = true;
  if (Take(text, 'i')) {
    o.m_bCompareSubSysID = true;
    text = nvl::TrimWhiteSpace(text);
    o.m_strInputSubSysID = text;
    if (o.m_strInputSubSysID.empty()) {
      Show("", "Please Input SSID/SVID!!\r\n");
      return -1;
    }
  }
  if (Contains(text, "/p") || Contains(text, "/P")) {
    o.m_bAssignPciAddress = true;
    const size_t k = Contains(text, "/p") ? text.find("/p") : text.find("/P");
    std::string p = nvl::TrimWhiteSpace(text.substr(k + 2));
    const auto refuse = [] {
      Show("Error", "Please Input PCI Address Parameter Bus:Device:Function!!! ");
      return -10;
    };
    if (p.empty()) return refuse();
    const size_t last_slash = p.rfind('/');
    if (last_slash != std::string::npos && last_slash > 0) {
      const size_t first_slash = p.find('/');
      p = p.substr(0, first_slash > 0 ? first_slash - 1 : 0);
    }
    RemoveAll(text, p);
    const size_t c1 = p.find(':');
    const std::string bus = c1 == std::string::npos ? std::string() : p.substr(0, c1);
    const std::string rest = c1 == std::string::npos ? p : p.substr(c1 + 1);
    const size_t c2 = rest.find(':');
    const std::string device = c2 == std::string::npos ? std::string() : rest.substr(0, c2);
    const size_t cl = p.rfind(':');
    const std::string function = cl == std::string::npos ? p : p.substr(cl + 1);
    if (bus.size() > kMaxLocationPart || device.size() > kMaxLocationPart ||
        function.size() > kMaxLocationPart) {
      return refuse();
    }
    o.m_ucAssignBus = static_cast<uint8_t>(nvl::ParseDecimal(bus));
    o.m_ucAssignDevice = static_cast<uint8_t>(nvl::ParseDecimal(device));
    o.m_ucAssignFunction = static_cast<uint8_t>(nvl::ParseDecimal(function));
    RemoveAll(text, "/p");
    RemoveAll(text, "/P");
  }
  for (const char letter : {'g', 'f'}) {
    if (!Take(text, letter)) continue;
    (letter == 'g' ? o.m_bSignalTest : o.m_bFixtureTest) = true;
    o.m_ucTestPort = 0;
    o.m_ucTestSpeed = 0;
    text = nvl::TrimWhiteSpace(text);
    if (text.empty()) {
      Show("", "Please Input [Port][Speed]!!\r\n");
      return -1;
    }
    PortAndSpeed(text, o.m_ucTestPort, o.m_ucTestSpeed);
  }
  return std::nullopt;
}
