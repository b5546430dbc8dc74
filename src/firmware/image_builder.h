// Builds firmware image files of both families, valid or with one field spoilt on purpose.
// The image tool (tools/nvl-image-tool) is a command line over this; tests, examples, the
// simulated station's boards and the demo build their images with it, so every image the
// project uses comes from one place.  Layout: firmware/fw_image.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hw/firmware_version.h"

namespace nvl::fw {

enum class ImageFamily { A, B };  // device type 0 / 1

// One 8-byte config body record: marker, width, address (LE), value (LE, bytes beyond the
// width written as 0).  A marker other than 0xCC makes a record the controller skips.
struct RegisterRecord {
  uint8_t width = 4;
  uint16_t address = 0;
  uint32_t value = 0;
  uint8_t marker = 0xCC;
};

// The one field an image can be spoilt in.
enum class ImageCorruption {
  None,
  ConfigSignature,     // config signature "7209A_RCFG" (neither family)
  ConfigChecksum,      // stored config checksum one more than the sum
  FirmwareSignature,   // the other family's firmware signature behind the code
  CodeChecksum,        // stored code checksum one more than the sum
  CfgLengthTooLarge,   // L = 0xFFFF (checksum written at the true L)
  CodeLengthTooLarge,  // N = 0xFFFF (family A) or 0xFFFFFFFF (family B)
  Truncate,            // the file cut short (ImageSpec::truncate_to)
};

struct ImageSpec {
  ImageFamily family = ImageFamily::A;
  std::array<uint8_t, 6> version = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  uint32_t code_size = 0x400;  // N; at least 0x86, so that the version lies inside the code
  std::vector<RegisterRecord> records;
  std::array<uint8_t, 4> header = {};
  std::array<uint8_t, 32> config_area = {};  // bytes 0x10..0x2F
  std::array<uint8_t, 4> trailer = {};
  uint32_t padding = 0;    // zero bytes behind the trailer
  uint32_t pad_to = 0;     // when longer than the image with its padding: zero bytes up to this
  uint32_t code_seed = 1;  // the code bytes are a pseudo-random sequence from this seed
  ImageCorruption corruption = ImageCorruption::None;
  // For Truncate: the number of bytes kept; 0 keeps everything up to the middle of the code.
  uint32_t truncate_to = 0;
};

// Where the parts of a built image lie.
struct ImageLayout {
  uint16_t cfg_length = 0;   // L as built (before any corruption of the field)
  uint32_t code_offset = 0;  // C
  uint32_t code_length = 0;  // N
  uint32_t image_end = 0;    // C + N + 13, where the padding starts
};

struct BuiltImage {
  std::vector<uint8_t> bytes;
  ImageLayout layout;
};

// Builds the image; nullopt with `error` set when the desc cannot be built (code too small,
// code too long for family A's 16-bit field, config block beyond 16 bits).
std::optional<BuiltImage> BuildImage(const ImageSpec& desc, std::string* error = nullptr);

// Names of the corruptions as the tool spells them ("none", "cfg-signature", "cfg-checksum",
// "fw-signature", "code-checksum", "cfg-length", "code-length", "truncate").
std::optional<ImageCorruption> ParseCorruption(const std::string& name);

}  // namespace nvl::fw
