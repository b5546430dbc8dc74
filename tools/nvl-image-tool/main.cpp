// nvl-image-tool: a command line over the image builder (firmware/image_builder.h).
// Usage: docs/image-tool.md, or nvl-image-tool --help.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/image_builder.h"

namespace {

constexpr const char* kUsage =
    "usage: nvl-image-tool -o FILE [options]\n"
    "  --family A|B               image family (default A)\n"
    "  --version TEXT             firmware version, 15 characters \"123456_78_9A_BC\"\n"
    "  --code-size N              firmware code length N (default 0x400, at least 0x86)\n"
    "  --code-seed N              seed of the code bytes (default 1)\n"
    "  --record W:ADDR:VALUE[:MK] register setting record, hexadecimal fields, repeatable\n"
    "  --header HEX               the 4 header bytes, 8 hex digits\n"
    "  --cfg-area HEX             config area 0x10..0x2F, up to 64 hex digits (rest zero)\n"
    "  --customer TEXT            text at the start of the config area (at most 31 bytes)\n"
    "  --trailer HEX              the 4 trailer bytes, 8 hex digits\n"
    "  --padding N                zero bytes behind the trailer\n"
    "  --pad-to N                 zero padding up to a file length of N bytes\n"
    "  --corrupt KIND             none, cfg-signature, cfg-checksum, fw-signature,\n"
    "                             code-checksum, cfg-length, code-length, truncate\n"
    "  --truncate-to N            bytes kept by --corrupt truncate (default: half the code)\n"
    "Numbers are decimal or 0x-prefixed hexadecimal.\n";

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || text[0] == '-' || v > max) return false;
  out = v;
  return true;
}

bool ParseHexNumber(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty() || text.size() > 8) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  out = std::strtoull(text.c_str(), nullptr, 16);
  return out <= max;
}

bool ParseHexBytes(const std::string& text, size_t max_bytes, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0 || text.size() / 2 > max_bytes) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    uint64_t b = 0;
    if (!ParseHexNumber(text.substr(i, 2), 0xFF, b)) return false;
    out.push_back(static_cast<uint8_t>(b));
  }
  return true;
}

// "W:ADDR:VALUE[:MARKER]"
bool ParseRecord(const std::string& text, nvl::fw::RegisterRecord& r) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() != 3 && parts.size() != 4) return false;
  uint64_t w = 0, a = 0, v = 0, m = 0xCC;
  if (!ParseHexNumber(parts[0], 0xFF, w) || !ParseHexNumber(parts[1], 0xFFFF, a) ||
      !ParseHexNumber(parts[2], 0xFFFFFFFF, v)) {
    return false;
  }
  if (parts.size() == 4 && !ParseHexNumber(parts[3], 0xFF, m)) return false;
  r.width = static_cast<uint8_t>(w);
  r.address = static_cast<uint16_t>(a);
  r.value = static_cast<uint32_t>(v);
  r.marker = static_cast<uint8_t>(m);
  return true;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "nvl-image-tool: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  nvl::fw::ImageSpec desc;
  std::string output;
  std::string customer;
  bool have_customer = false;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "-h" || opt == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return Usage("option " + opt + " needs a value");
    const std::string val = argv[++i];
    uint64_t n = 0;
    std::vector<uint8_t> bytes;
    if (opt == "-o" || opt == "--output") {
      output = val;
    } else if (opt == "--family") {
      if (val == "A" || val == "a") {
        desc.family = nvl::fw::ImageFamily::A;
      } else if (val == "B" || val == "b") {
        desc.family = nvl::fw::ImageFamily::B;
      } else {
        return Usage("family must be A or B");
      }
    } else if (opt == "--version") {
      auto v = ParseFirmwareVersionText(val);
      if (!v) return Usage("version must read like 123456_78_9A_BC");
      desc.version = *v;
    } else if (opt == "--code-size") {
      if (!ParseNumber(val, 0xFFFFFFFF, n)) return Usage("bad code size " + val);
      desc.code_size = static_cast<uint32_t>(n);
    } else if (opt == "--code-seed") {
      if (!ParseNumber(val, 0xFFFFFFFF, n)) return Usage("bad code seed " + val);
      desc.code_seed = static_cast<uint32_t>(n);
    } else if (opt == "--record") {
      nvl::fw::RegisterRecord r;
      if (!ParseRecord(val, r)) return Usage("record must read W:ADDR:VALUE[:MARKER] in hex");
      desc.records.push_back(r);
    } else if (opt == "--header" || opt == "--trailer") {
      if (!ParseHexBytes(val, 4, bytes) || bytes.size() != 4) {
        return Usage(opt + " needs 8 hex digits");
      }
      auto& dst = opt == "--header" ? desc.header : desc.trailer;
      std::copy(bytes.begin(), bytes.end(), dst.begin());
    } else if (opt == "--cfg-area") {
      if (!ParseHexBytes(val, desc.config_area.size(), bytes)) {
        return Usage("config area needs up to 64 hex digits");
      }
      desc.config_area.fill(0);
      std::copy(bytes.begin(), bytes.end(), desc.config_area.begin());
    } else if (opt == "--customer") {
      if (val.size() > 31) return Usage("customer text holds at most 31 bytes");
      customer = val;
      have_customer = true;
    } else if (opt == "--padding") {
      if (!ParseNumber(val, 0xFFFFFFFF, n)) return Usage("bad padding " + val);
      desc.padding = static_cast<uint32_t>(n);
    } else if (opt == "--pad-to") {
      if (!ParseNumber(val, 0xFFFFFFFF, n)) return Usage("bad length " + val);
      desc.pad_to = static_cast<uint32_t>(n);
    } else if (opt == "--corrupt") {
      auto c = nvl::fw::ParseCorruption(val);
      if (!c) return Usage("unknown corruption " + val);
      desc.corruption = *c;
    } else if (opt == "--truncate-to") {
      if (!ParseNumber(val, 0xFFFFFFFF, n)) return Usage("bad length " + val);
      desc.truncate_to = static_cast<uint32_t>(n);
    } else {
      return Usage("unknown option " + opt);
    }
  }
  if (output.empty()) return Usage("no output file (-o FILE)");
  if (have_customer) std::memcpy(desc.config_area.data(), customer.data(), customer.size());

  std::string error;
  auto built = nvl::fw::BuildImage(desc, &error);
  if (!built) {
    std::fprintf(stderr, "nvl-image-tool: %s\n", error.c_str());
    return 2;
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(built->bytes.data()),
            static_cast<std::streamsize>(built->bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "nvl-image-tool: cannot write %s\n", output.c_str());
    return 1;
  }
  const auto& l = built->layout;
  std::printf("%s: family %c, L=0x%X, C=0x%X, N=0x%X, end=0x%X, length=%zu\n", output.c_str(),
              desc.family == nvl::fw::ImageFamily::B ? 'B' : 'A', l.cfg_length, l.code_offset,
              l.code_length, l.image_end, built->bytes.size());
  return 0;
}
