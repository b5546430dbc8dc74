// The version report: NVL720xVersion.txt in the working directory, one line per target host.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "discovery/utility.h"
#include "platform/text.h"

int CUtility::WriteVersionReport() {
  if (m_ucHostCount == 0) return -4;
  constexpr const char* kName = "NVL720xVersion.txt";
  std::error_code ec;
  std::filesystem::remove(kName, ec);
  std::FILE* f = std::fopen(kName, "wb");
  if (f == nullptr) return -5;
  int rc = 0;
  for (int i = 0; i < m_ucHostCount; ++i) {
    HostInfo& h = m_HostInfo[i];
    h.strFWVersion = nvl::TrimWhiteSpace(h.strFWVersion);
    std::string version = h.strFWVersion;
    if (version.size() < 12) version.insert(0, 12 - version.size(), '0');
    char line[255];
    std::snprintf(line, sizeof line, "%d:%s\tSVID: %s\tSSID: %s\r\n", i, version.c_str(),
                  h.strSVID.c_str(), h.strSSID.c_str());
    const size_t n = std::strlen(line);
    if (std::fwrite(line, 1, n, f) != n || std::fflush(f) != 0) rc = -5;
  }
  if (std::fclose(f) != 0) rc = -5;
  return rc;
}
