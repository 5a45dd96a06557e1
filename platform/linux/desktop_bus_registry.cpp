#include "platform/linux/desktop_bus_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace trivane::bus {
namespace {

constexpr char kMagic[4] = {'T', 'V', 'B', 'W'};
constexpr std::size_t kServedAt = 16;
constexpr std::size_t kWaitingAt = 24;

std::string HandleName(WindowHandle handle) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<std::uint32_t>(handle));
  return text;
}

// "0001002a.win" -> 0x1002a; anything else is not a registration.
std::optional<WindowHandle> HandleOfName(std::string_view name) {
  if (name.size() != 12 || name.substr(8) != ".win") return std::nullopt;
  std::uint32_t value = 0;
  for (char c : name.substr(0, 8)) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<WindowHandle>(value);
}

bool ReadAll(int fd, std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd, out + done, size - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

struct ProcessStatus {
  ProcessId id;
  char state = '?';  // /proc/<pid>/stat field 3
};

std::optional<ProcessStatus> StatusOf(std::uint32_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return std::nullopt;
  // The command name may hold blanks and parentheses; the fields after the
  // last ')' do not.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string state;
  fields >> state;
  if (state.size() != 1) return std::nullopt;
  std::string skip;
  for (int field = 4; field < 22; ++field) fields >> skip;
  std::uint64_t start_time = 0;
  if (!(fields >> start_time)) return std::nullopt;
  return ProcessStatus{{pid, start_time}, state[0]};
}

}  // namespace

std::string DefaultBusDirectory() {
  if (const char* chosen = std::getenv("TRIVANE_BUS_DIR"); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    return std::string(runtime) + "/trivane-bus";
  }
  return "/tmp/trivane-bus-" + std::to_string(geteuid());
}

bool PrepareBusDirectory(const std::string& directory, std::string& refusal) {
  if (directory.empty()) {
    refusal = "no directory was named";
    return false;
  }
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    refusal = "it cannot be created: " + std::string(std::strerror(errno));
    return false;
  }
  struct stat info {};
  // lstat: a symbolic link planted in /tmp by someone else is refused, not followed.
  if (lstat(directory.c_str(), &info) != 0) {
    refusal = "it cannot be examined: " + std::string(std::strerror(errno));
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    refusal = "it is a symbolic link";
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    refusal = "it is not a directory";
    return false;
  }
  if (info.st_uid != geteuid()) {
    refusal = "it belongs to user " + std::to_string(info.st_uid) + ", not to user " +
              std::to_string(geteuid());
    return false;
  }
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    refusal = "its mode is " + std::string(mode) + ": group or others have access";
    return false;
  }
  return true;
}

std::optional<ProcessId> ProcessIdOf(std::uint32_t pid) {
  const auto status = StatusOf(pid);
  if (!status || status->state == 'Z' || status->state == 'X' || status->state == 'x') {
    return std::nullopt;
  }
  return status->id;
}

bool IsAlive(const ProcessId& process) {
  const auto now = ProcessIdOf(process.pid);
  return now && now->start_time == process.start_time;
}

bool IsStopped(const ProcessId& process) {
  const auto now = StatusOf(process.pid);
  return now && now->id.start_time == process.start_time &&
         (now->state == 'T' || now->state == 't');
}

std::uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

std::string Registry::SocketPath(WindowHandle handle) const {
  return directory_ + "/" + HandleName(handle) + ".sock";
}
std::string Registry::RegistrationPath(WindowHandle handle) const {
  return directory_ + "/" + HandleName(handle) + ".win";
}

std::optional<Registration> Registry::ReadFile(WindowHandle handle) const {
  const int fd = open(RegistrationPath(handle).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::uint8_t bytes[kRegistrationHeader + kMaxClassName];
  std::optional<Registration> found;
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kRegistrationHeader) &&
      info.st_size <= static_cast<off_t>(sizeof bytes) &&
      ReadAll(fd, bytes, static_cast<std::size_t>(info.st_size)) &&
      std::memcmp(bytes, kMagic, 4) == 0) {
    const ByteView view(bytes, static_cast<std::size_t>(info.st_size));
    const std::uint32_t length = *LoadU32(view, 28);
    if (length <= kMaxClassName && kRegistrationHeader + length == view.size()) {
      Registration registration;
      registration.owner.pid = *LoadU32(view, 4);
      registration.owner.start_time = *LoadLE<std::uint64_t>(view, 8);
      registration.served_ms = *LoadLE<std::uint64_t>(view, kServedAt);
      registration.waiting = *LoadU32(view, kWaitingAt) != 0;
      registration.class_name.assign(reinterpret_cast<const char*>(bytes) + kRegistrationHeader,
                                     length);
      found = std::move(registration);
    }
  }
  close(fd);
  return found;
}

std::optional<Registration> Registry::Read(WindowHandle handle) {
  auto found = ReadFile(handle);
  if (!found) return std::nullopt;
  if (IsAlive(found->owner)) return found;
  // Whoever notices a dead owner clears up after it, if nobody is busy in the
  // directory; otherwise the next one who looks will.
  Lock lock(*this, std::chrono::milliseconds(0));
  if (lock.held()) {
    const auto again = ReadFile(handle);
    if (again && !IsAlive(again->owner)) RemoveFiles(handle);
  }
  return std::nullopt;
}

std::vector<DesktopWindow> Registry::List() {
  std::vector<WindowHandle> handles;
  if (DIR* dir = opendir(directory_.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (const auto handle = HandleOfName(entry->d_name)) handles.push_back(*handle);
    }
    closedir(dir);
  }
  std::vector<DesktopWindow> windows;
  for (const WindowHandle handle : handles) {
    if (auto registration = Read(handle)) {
      windows.push_back({handle, std::move(registration->class_name)});
    }
  }
  return windows;
}

Registry::Lock::Lock(const Registry& registry, std::chrono::milliseconds limit) {
  const std::string path = registry.directory() + "/bus.lock";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      close(fd_);
      fd_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Registry::Lock::~Lock() {
  if (fd_ >= 0) close(fd_);  // also releases the lock
}

WindowHandle Registry::NextCandidate(const Lock& lock, WindowHandle first,
                                     WindowHandle last) const {
  std::uint8_t bytes[4] = {};
  WindowHandle next = first;
  if (ReadAll(lock.fd(), bytes, 4)) next = static_cast<WindowHandle>(*LoadU32(ByteView(bytes), 0));
  return next < first || next > last ? first : next;
}

void Registry::StoreNext(const Lock& lock, WindowHandle next) const {
  Bytes bytes;
  AppendU32(bytes, static_cast<std::uint32_t>(next));
  if (pwrite(lock.fd(), bytes.data(), bytes.size(), 0) != 4) {
    // Only the order of handles suffers; the next create starts from the first.
  }
}

bool Registry::ClaimFree(const Lock& /*lock*/, WindowHandle handle) {
  const auto registration = ReadFile(handle);
  if (registration && IsAlive(registration->owner)) return false;
  struct stat info {};
  if (!registration && lstat(RegistrationPath(handle).c_str(), &info) == 0) {
    // Unreadable or malformed: not ours to judge, and not ours to take.
    return false;
  }
  // A dead owner's window, or a socket left by a create that died before it
  // published: nobody live can be using either while we hold the lock.
  RemoveFiles(handle);
  return true;
}

int Registry::Publish(const Lock& /*lock*/, WindowHandle handle, std::string_view class_name,
                      const ProcessId& owner) {
  Bytes bytes(kMagic, kMagic + 4);
  AppendU32(bytes, owner.pid);
  AppendLE<std::uint64_t>(bytes, owner.start_time);
  AppendLE<std::uint64_t>(bytes, MonotonicMs());
  AppendU32(bytes, 0);
  AppendU32(bytes, static_cast<std::uint32_t>(class_name.size()));
  bytes.insert(bytes.end(), class_name.begin(), class_name.end());
  const std::string temporary = directory_ + "/.tmp-" + HandleName(handle);
  const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  if (!WriteAll(fd, bytes) || rename(temporary.c_str(), RegistrationPath(handle).c_str()) != 0) {
    close(fd);
    unlink(temporary.c_str());
    return -1;
  }
  return fd;
}

void Registry::Withdraw(WindowHandle handle) {
  unlink(SocketPath(handle).c_str());
  unlink(RegistrationPath(handle).c_str());
}

void Registry::RemoveFiles(WindowHandle handle) const {
  unlink(SocketPath(handle).c_str());
  unlink(RegistrationPath(handle).c_str());
  unlink((directory_ + "/.tmp-" + HandleName(handle)).c_str());
}

Heartbeat::Heartbeat(int fd) {
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kRegistrationHeader)) {
    size_ = static_cast<std::size_t>(info.st_size);
    map_ = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map_ == MAP_FAILED) map_ = nullptr;
  }
  close(fd);
}

Heartbeat::~Heartbeat() {
  if (map_ != nullptr) munmap(map_, size_);
}

void Heartbeat::Beat(bool waiting) {
  if (map_ == nullptr) return;
  auto* base = static_cast<std::uint8_t*>(map_);
  // The page is shared with every reader; whole aligned words keep them from
  // seeing half a time. Little-endian hosts only, as the file says.
  std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(base + kServedAt))
      .store(MonotonicMs());
  std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(base + kWaitingAt))
      .store(waiting ? 1 : 0);
}

std::optional<std::pair<std::uint64_t, bool>> ReadHeartbeat(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::optional<std::pair<std::uint64_t, bool>> beat;
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kRegistrationHeader)) {
    void* map = mmap(nullptr, kRegistrationHeader, PROT_READ, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      auto* base = static_cast<std::uint8_t*>(map);
      // Flag first: a thread leaving its wait stamps the time before it
      // clears the flag, so "not waiting" always comes with a fresh time.
      const bool waiting =
          std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(base + kWaitingAt))
              .load() != 0;
      const std::uint64_t served =
          std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(base + kServedAt))
              .load();
      beat = std::make_pair(served, waiting);
      munmap(map, kRegistrationHeader);
    }
  }
  close(fd);
  return beat;
}

}  // namespace trivane::bus
