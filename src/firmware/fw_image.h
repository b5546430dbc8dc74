// The firmware image file: layout constants, the parsed view (BinFileStruct), the CRC-32 of the
// config block, the version text and the standard load of an image file.
//
// Image layout (little-endian; L = config block length, N = code length, C = first code byte):
//   offset  size  content
//   0       4     header bytes, carried unchanged
//   4       2     L
//   6       10    config signature: "7201A_RCFG" (family A, device type 0),
//                 "7202A_RCFG" (family B, device type 1)
//   0x10    32    config area (customer information in its first bytes)
//   0x30    L-48  config body: 8-byte records (register setting records carry marker 0xCC)
//   L       1     config checksum (8-bit sum of bytes 0..L-1)
//   L+1     4     CRC-32 of bytes 0..L-1
//   L+5     2/4   N: 16-bit for family A, 32-bit for family B
//   C       N     code (C = L+7 for A, L+9 for B); the 6 version bytes sit at C+0x80
//   C+N     8     firmware signature "7201A_FW" / "7202A_FW"
//   C+N+8   1     code checksum (8-bit sum of the N code bytes)
//   C+N+9   4     trailer, carried unchanged
//   then padding, which goes to the flash like the rest.
// The CRC at L+1 and the trailer are neither verified nor recomputed here: whether the trailer is
// a CRC of the code is not settled, so it is carried unchanged.
//
// Bounds of an image in memory.  The operations that read an image in memory
// (CInterctl::Check_Firmware_File, CInterctl::Get_Version_From_File, CUtility::GetBinFileStruct)
// take the number of bytes D that are valid at the image pointer, and never read at or beyond
// D, whatever the image's fields say.  The check refuses (-3, one log line naming the field)
// every image for which one of these does not hold, tested in this order within the check's own
// order of steps:
//   step 1 (signature):  D >= 16                          (header, L and config signature)
//   step 2 (checksum):   48 <= L and L + 1 + 4 + w <= D   (config block, its checksum, its CRC
//                                                          and the w-byte length field, w = 2
//                                                          for family A and 4 for family B)
//   step 3 (signature):  N >= 0x86 and C + N + 13 <= D    (the code holds the 6 version bytes at
//                                                          0x80; code, firmware signature, code
//                                                          checksum and trailer lie within D)
// The sums are taken in 64 bits, so a 32-bit N near 0xFFFFFFFF cannot wrap round.  So an image
// that passes the check can be parsed and its version read without any further test, and a
// caller may pass either the file's length or the (larger, zero-filled) buffer's length as D.
// GetBinFileStruct applies the same limits on its own and stops filling at the first field that
// lies outside D.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/firmware_version.h"

inline constexpr uint32_t CFG_LENGTH_OFFSET = 4;
inline constexpr uint32_t CFG_SIGNATURE_OFFSET = 6;
inline constexpr uint32_t CFG_SIGNATURE_LENGTH = 10;
inline constexpr uint32_t CFG_AREA_OFFSET = 0x10;
inline constexpr uint32_t CFG_AREA_LENGTH = 32;
inline constexpr uint32_t CFG_BODY_OFFSET = 0x30;
inline constexpr uint32_t CFG_HEADER_LENGTH = 16;
inline constexpr uint32_t FW_SIGNATURE_LENGTH = 8;
inline constexpr uint32_t FW_TRAILER_LENGTH = 4;
inline constexpr uint32_t FW_VERSION_OFFSET = 0x80;  // inside the code
inline constexpr uint32_t FW_VERSION_LENGTH = 6;
inline constexpr uint32_t REG_RECORD_LENGTH = 8;
inline constexpr uint8_t REG_RECORD_MARKER = 0xCC;
// Image buffers are at least this long and zero behind the file's end.
inline constexpr uint32_t FW_IMAGE_MIN_BUFFER = 0x20000;
// Longest image file that is loaded: no flash part holds more (the part record counts its size
// in 4 KB units in 16 bits).  A longer file is refused as "no memory" (-8) before any buffer is
// allocated, so a wrongly chosen disk image cannot exhaust the station's memory.
inline constexpr uint32_t FW_IMAGE_MAX_FILE = 0x10000000;

inline constexpr char CFG_SIGNATURE_A[] = "7201A_RCFG";
inline constexpr char CFG_SIGNATURE_B[] = "7202A_RCFG";
inline constexpr char FW_SIGNATURE_A[] = "7201A_FW";
inline constexpr char FW_SIGNATURE_B[] = "7202A_FW";

inline constexpr uint8_t FW_DEVICE_TYPE_A = 0;
inline constexpr uint8_t FW_DEVICE_TYPE_B = 1;
inline constexpr uint8_t FW_DEVICE_TYPE_NONE = 0xFF;

// The parsed view of an image.  The two buffers belong to the structure.
struct BinFileStruct {
  uint8_t abHeader[CFG_HEADER_LENGTH] = {};  // bytes 0..15: header, L, config signature
  std::vector<uint8_t> pCfgBody;             // bytes 0x30 .. L-1
  uint32_t dwCodeLength = 0;                 // N as stored (16 bits for family A)
  std::vector<uint8_t> pFWCode;              // the N code bytes
  uint8_t abFWSignature[FW_SIGNATURE_LENGTH] = {};
  uint8_t bCodeChecksum = 0;  // as stored
  uint8_t abFWTrailer[FW_TRAILER_LENGTH] = {};
  uint8_t abCfgArea[CFG_AREA_LENGTH] = {};  // bytes 0x10..0x2F
  uint16_t wCfgLength = 0;                  // L
};

namespace nvl::fw {

// Length of N's field behind the config block: 2 for family A, 4 for family B.
inline constexpr uint32_t CodeLengthFieldSize(uint8_t device_type) {
  return device_type == FW_DEVICE_TYPE_B ? 4u : 2u;
}
// Offset of the first code byte for a config block of length L.
inline constexpr uint64_t CodeOffset(uint16_t cfg_length, uint8_t device_type) {
  return uint64_t{cfg_length} + 5u + CodeLengthFieldSize(device_type);
}

// Fills `table` with the 256 entries of the reflected CRC-32 (polynomial 0x04C11DB7), built the
// MSB-first way: bit-reverse the index into the top byte, eight shift-and-xor steps, bit-reverse
// the result.
void BuildCrc32Table(uint32_t table[256]);

// The CRC-32 of Ethernet and zlib: initial 0xFFFFFFFF, low bit first, final complement.
uint32_t Crc32(const uint32_t table[256], const uint8_t* data, size_t length);

// 8-bit sum of `length` bytes (0 for none).
uint8_t Checksum8(const uint8_t* data, size_t length);

// The little-endian number in the `size` (at most 4) bytes at `p`.
uint32_t ReadLittleEndian(const uint8_t* p, uint32_t size);

// An image file loaded the standard way (LoadFirmwareFile).
struct FirmwareFile {
  std::vector<uint8_t> buffer;  // max(file length, FW_IMAGE_MIN_BUFFER) bytes, zero behind the file
  uint32_t dwFileLength = 0;    // bytes read from the file (also left in m_dwFWFileLength)
};

// The load every user of an image file shares: g_Utility.bFWBinFileLength; raise
// m_dwFWFileLength to FW_IMAGE_MIN_BUFFER when smaller; a zeroed buffer of that many bytes;
// g_Utility.bOpenFWBinFile, which sets m_dwFWFileLength back to the true length.  Returns 0, or
// the code of bOpenFWBinFile (-3 file cannot be opened or read, -8 no memory or a file longer
// than FW_IMAGE_MAX_FILE, refused before the buffer is allocated).  The caller goes
// on with CInterctl::Get_Version_From_File(out.buffer.data(), out.dwFileLength, ...).
int LoadFirmwareFile(const std::string& path, FirmwareFile& out);

}  // namespace nvl::fw
