// Measuring, loading and parsing firmware image files (CUtility's file operations).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "discovery/utility.h"
#include "firmware/fw_image.h"
#include "platform/diag_log.h"

namespace {

// An open read-only file that closes itself.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // Opened, and a regular file (a folder or a device is not an image); errno tells why not.
  bool Open() const {
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    return true;
  }
  // Length in bytes, or -1.
  int64_t Length() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
  }
  // Reads up to `count` bytes; returns the bytes read, or -1.
  int64_t ReadAll(uint8_t* out, size_t count) const {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::read(fd_, out + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

 private:
  int fd_;
};

uint32_t ClampLength(int64_t length) {
  if (length < 0) return 0;
  if (length > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(length);
}

}  // namespace

int CUtility::bFWBinFileLength(const std::string& path) {
  ReadOnlyFile file(path);
  if (!file.Open()) {
    LogMessage(1, "\r\n%s:%d:  bFWBinFileLength Failed, strFWFilePath[%s], dwError=%x",
               "CUtility::bFWBinFileLength", __LINE__, path.c_str(), errno);
    return -3;
  }
  m_dwFWFileLength = ClampLength(file.Length());
  return 0;
}

int CUtility::bOpenFWBinFile(const std::string& path, std::vector<uint8_t>& buffer) {
  ReadOnlyFile file(path);
  if (!file.Open()) {
    LogMessage(1, "\r\n%s:%d:  theFile.Open Failed, strFWFilePath[%s], dwError=%x",
               "CUtility::bOpenFWBinFile", __LINE__, path.c_str(), errno);
    return -3;
  }
  const int64_t length = file.Length();
  if (length < 0 || length > int64_t{FW_IMAGE_MAX_FILE}) {
    // Longer than any flash part: no image, and not worth the memory of reading it.
    LogMessage(1, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
               "CUtility::bOpenFWBinFile", __LINE__, static_cast<int>(ClampLength(length)), ENOMEM);
    return -8;
  }
  m_dwFWFileLength = static_cast<uint32_t>(length);
  // Read into a working buffer first, so the caller's buffer is untouched when the read fails.
  std::vector<uint8_t> work;
  try {
    work.resize(m_dwFWFileLength);
    if (buffer.size() < work.size()) buffer.resize(work.size(), 0);
  } catch (const std::bad_alloc&) {
    LogMessage(1, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
               "CUtility::bOpenFWBinFile", __LINE__, static_cast<int>(m_dwFWFileLength), ENOMEM);
    return -8;
  }
  const int64_t got = file.ReadAll(work.data(), work.size());
  if (got != static_cast<int64_t>(work.size())) {
    // Shorter than measured (the file shrank) or a read error: not the file we measured.
    LogMessage(1, "\r\n%s:%d:  theFile.Read Failed, strFWFilePath[%s], dwError=%x",
               "CUtility::bOpenFWBinFile", __LINE__, path.c_str(), got < 0 ? errno : EIO);
    return -3;
  }
  if (!work.empty()) std::memcpy(buffer.data(), work.data(), work.size());
  return 0;
}

int CUtility::GetBinFileStruct(const uint8_t* image, size_t length, BinFileStruct& out) {
  const uint64_t avail = image == nullptr ? 0 : length;
  auto outside = [&](uint64_t offset, uint64_t count) {
    if (offset + count <= avail) return false;
    LogMessage(1, "\r\n%s:%d:  image field at 0x%llx (%llu bytes) outside the image length %llu",
               "CUtility::GetBinFileStruct", __LINE__, static_cast<unsigned long long>(offset),
               static_cast<unsigned long long>(count), static_cast<unsigned long long>(avail));
    return true;
  };
  try {
    if (outside(0, CFG_BODY_OFFSET)) return -3;
    std::memcpy(out.abHeader, image, CFG_HEADER_LENGTH);
    std::memcpy(out.abCfgArea, image + CFG_AREA_OFFSET, CFG_AREA_LENGTH);
    const uint16_t cfg_length =
        static_cast<uint16_t>(nvl::fw::ReadLittleEndian(image + CFG_LENGTH_OFFSET, 2));
    out.wCfgLength = cfg_length;
    if (cfg_length < CFG_BODY_OFFSET) {
      LogMessage(1, "\r\n%s:%d:  config block length %u shorter than its header",
                 "CUtility::GetBinFileStruct", __LINE__, static_cast<unsigned>(cfg_length));
      return -3;
    }
    if (outside(0, cfg_length)) return -3;
    out.pCfgBody.assign(image + CFG_BODY_OFFSET, image + cfg_length);

    const uint8_t type = m_bFWDeviceType;
    if (type != FW_DEVICE_TYPE_A && type != FW_DEVICE_TYPE_B) return 0;

    const uint32_t field = nvl::fw::CodeLengthFieldSize(type);
    if (outside(uint64_t{cfg_length} + 5, field)) return -3;
    const uint32_t code_length = nvl::fw::ReadLittleEndian(image + cfg_length + 5, field);
    out.dwCodeLength = code_length;
    const uint64_t code = nvl::fw::CodeOffset(cfg_length, type);
    if (outside(code, uint64_t{code_length} + FW_SIGNATURE_LENGTH + 1 + FW_TRAILER_LENGTH)) {
      return -3;
    }
    out.pFWCode.assign(image + code, image + code + code_length);
    const uint8_t* behind = image + code + code_length;
    std::memcpy(out.abFWSignature, behind, FW_SIGNATURE_LENGTH);
    out.bCodeChecksum = behind[FW_SIGNATURE_LENGTH];
    std::memcpy(out.abFWTrailer, behind + FW_SIGNATURE_LENGTH + 1, FW_TRAILER_LENGTH);
    return 0;
  } catch (const std::bad_alloc&) {
    LogMessage(1, "\r\n%s:%d:  dwErrorCode %d", "CUtility::GetBinFileStruct", __LINE__, ENOMEM);
    return -8;
  }
}

namespace nvl::fw {

int LoadFirmwareFile(const std::string& path, FirmwareFile& out) {
  // A failed measure is not fatal here: the load that follows reports it.
  const bool measured = g_Utility.bFWBinFileLength(path) == 0;
  if (g_Utility.m_dwFWFileLength < FW_IMAGE_MIN_BUFFER) {
    g_Utility.m_dwFWFileLength = FW_IMAGE_MIN_BUFFER;
  }
  out.dwFileLength = 0;
  if (measured && g_Utility.m_dwFWFileLength > FW_IMAGE_MAX_FILE) {
    // Refused before the zeroed buffer is allocated (a measured length is clamped to 32 bits, so
    // a file of several gigabytes would otherwise cost a buffer of 4 GB).
    LogMessage(1, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
               "nvl::fw::LoadFirmwareFile", __LINE__, static_cast<int>(g_Utility.m_dwFWFileLength),
               ENOMEM);
    return -8;
  }
  // After a failed measure the length is an earlier file's; the read that follows fails (or grows
  // the buffer to the true length), so that length is never trusted beyond the limit either.
  const uint32_t buffer_length = std::min(g_Utility.m_dwFWFileLength, FW_IMAGE_MAX_FILE);
  try {
    out.buffer.assign(buffer_length, 0);
  } catch (const std::bad_alloc&) {
    LogMessage(1, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
               "nvl::fw::LoadFirmwareFile", __LINE__, static_cast<int>(g_Utility.m_dwFWFileLength),
               ENOMEM);
    return -8;
  }
  const int rc = g_Utility.bOpenFWBinFile(path, out.buffer);
  if (rc != 0) return rc;
  out.dwFileLength = g_Utility.m_dwFWFileLength;
  return 0;
}

}  // namespace nvl::fw
