#include "hw/linux_transport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace nvl {

LinuxTransport::LinuxTransport(std::string sysfs_root, std::string mem_path, bool require_root)
    : sysfs_root_(std::move(sysfs_root)),
      mem_path_(std::move(mem_path)),
      require_root_(require_root) {}

LinuxTransport::~LinuxTransport() {
  Close();
}

bool LinuxTransport::Open(std::string& error) {
  std::lock_guard lock(mutex_);
  if (open_) return true;
  if (require_root_ && geteuid() != 0) {
    error = "access to PCI configuration space needs root rights";
    errno = EACCES;
    return false;
  }
  DIR* dir = opendir(sysfs_root_.c_str());
  if (dir == nullptr) {
    error = "cannot read " + sysfs_root_ + ": " + std::strerror(errno);
    return false;
  }
  present_.reset();
  while (dirent* e = readdir(dir)) {
    unsigned domain = 0, bus = 0, dev = 0, fn = 0;
    char tail = 0;
    if (std::sscanf(e->d_name, "%4x:%2x:%2x.%1x%c", &domain, &bus, &dev, &fn, &tail) == 4 &&
        domain == 0 && bus < 256 && dev < 32 && fn < 8) {
      present_.set(PciLocation{static_cast<uint8_t>(bus), static_cast<uint8_t>(dev),
                               static_cast<uint8_t>(fn)}
                       .Index());
    }
  }
  closedir(dir);
  fds_ = new std::array<int, 65536>;
  fds_->fill(-1);
  open_ = true;
  return true;
}

void LinuxTransport::Close() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  for (auto& [user, page] : mappings_)
    munmap(page.first, page.second);
  mappings_.clear();
  if (fds_ != nullptr) {
    for (int fd : *fds_) {
      if (fd >= 0) close(fd);
    }
    delete fds_;
    fds_ = nullptr;
  }
  if (mem_fd_ >= 0) close(mem_fd_);
  mem_fd_ = -1;
  open_ = false;
}

int LinuxTransport::ConfigFd(PciLocation loc) {
  const uint32_t index = loc.Index();
  if (!open_ || !present_.test(index)) return -1;
  int& fd = (*fds_)[index];
  if (fd < 0) {
    char path[64];
    std::snprintf(path, sizeof path, "/0000:%02x:%02x.%x/config", loc.bus, loc.device,
                  loc.function);
    fd = ::open((sysfs_root_ + path).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fd = ::open((sysfs_root_ + path).c_str(), O_RDONLY | O_CLOEXEC);
  }
  return fd;
}

uint32_t LinuxTransport::ReadConfig32(PciLocation loc, uint32_t offset) {
  std::lock_guard lock(mutex_);
  const int fd = ConfigFd(loc);
  uint32_t v = 0xFFFFFFFFu;
  if (fd < 0 || pread(fd, &v, 4, offset) != 4) return 0xFFFFFFFFu;
  return v;
}

uint8_t LinuxTransport::ReadConfig8(PciLocation loc, uint32_t offset) {
  std::lock_guard lock(mutex_);
  const int fd = ConfigFd(loc);
  uint8_t v = 0xFF;
  if (fd < 0 || pread(fd, &v, 1, offset) != 1) return 0xFF;
  return v;
}

void LinuxTransport::WriteConfig8(PciLocation loc, uint32_t offset, uint8_t value) {
  std::lock_guard lock(mutex_);
  if (const int fd = ConfigFd(loc); fd >= 0) (void)!pwrite(fd, &value, 1, offset);
}

void LinuxTransport::WriteConfig32(PciLocation loc, uint32_t offset, uint32_t value) {
  std::lock_guard lock(mutex_);
  if (const int fd = ConfigFd(loc); fd >= 0) (void)!pwrite(fd, &value, 4, offset);
}

void* LinuxTransport::Map(uint64_t physical, uint32_t length) {
  std::lock_guard lock(mutex_);
  if (!open_ || length == 0) return nullptr;
  if (mem_fd_ < 0) {
    mem_fd_ = ::open(mem_path_.c_str(), O_RDWR | O_SYNC | O_CLOEXEC);
    if (mem_fd_ < 0) return nullptr;
  }
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t base = physical & ~(page - 1);
  const size_t span = static_cast<size_t>(physical - base + length);
  void* p =
      mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_SHARED, mem_fd_, static_cast<off_t>(base));
  if (p == MAP_FAILED) return nullptr;
  void* user = static_cast<uint8_t*>(p) + (physical - base);
  mappings_[user] = {p, span};
  return user;
}

void LinuxTransport::Unmap(void* mapping, uint32_t /*length*/) {
  std::lock_guard lock(mutex_);
  const auto it = mappings_.find(mapping);
  if (it == mappings_.end()) return;
  munmap(it->second.first, it->second.second);
  mappings_.erase(it);
}

int LinuxTransport::ReadByte(const void* address, uint8_t* out) {
  *out = *static_cast<const volatile uint8_t*>(address);
  return 0;
}

int LinuxTransport::WriteByte(void* address, uint8_t value) {
  *static_cast<volatile uint8_t*>(address) = value;
  return 0;
}

}  // namespace nvl
