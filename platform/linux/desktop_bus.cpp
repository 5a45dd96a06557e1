#include "platform/linux/desktop_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/linux/desktop_bus_wire.h"

namespace trivane {
namespace {

using Clock = std::chrono::steady_clock;

// A window keeps this many peers connected at once; beyond it the longest idle
// one makes room, so peers that connect and sit cannot lock others out.
constexpr std::size_t kMaxConnections = 32;
// A frame begun must be finished within this, or its connection is closed:
// a half-sent frame cannot hold a slot or memory for ever.
constexpr auto kFrameTime = std::chrono::seconds(5);
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
// Reads per connection and round: a 1 MiB copy arrives in one round, and a
// flood on one connection still cannot keep the thread from the others.
constexpr int kChunksPerRound = 16;
constexpr int kPumpRounds = 64;
// What all of one window's half-read requests may hold together: two of the
// largest copies at once, and not 32 of them.
constexpr std::size_t kWindowBuffer = 2 * std::size_t{bus::kMaxCopyData};
constexpr auto kCreateLockLimit = std::chrono::milliseconds(1000);
// A connect refused for a full backlog is tried again this often: a socket
// cannot be polled for room in another's backlog.
constexpr auto kConnectRetry = std::chrono::milliseconds(1);

int PollTimeout(Clock::time_point until) {
  const auto left = until - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so a wait never ends just short of its time and spins.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool PeerIsUs(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         credentials.uid == geteuid();
}

}  // namespace

struct DesktopBus::Connection {
  int fd = -1;
  bus::RequestReader reader;
  bool busy = false;  // its request is being served further up this thread's stack
  Clock::time_point frame_started;
  Clock::time_point last_used;
};

struct DesktopBus::Window {
  WindowHandle handle = 0;
  std::thread::id owner;
  WindowProcedure* procedure = nullptr;
  int listen_fd = -1;
  std::unique_ptr<bus::Heartbeat> heartbeat;
  std::vector<std::shared_ptr<Connection>> connections;
  bool alive = true;
};

DesktopBus::DesktopBus(DesktopBusOptions options)
    : options_(std::move(options)),
      registry_(options_.directory.empty() ? bus::DefaultBusDirectory() : options_.directory) {
  options_.first_handle = std::max<WindowHandle>(options_.first_handle, 1);
  options_.last_handle = std::max(options_.last_handle, options_.first_handle);
  usable_ = bus::PrepareBusDirectory(registry_.directory(), refusal_);
  sockaddr_un address{};
  const std::string longest = registry_.SocketPath(options_.last_handle);
  if (usable_ && !FillAddress(longest, address)) {
    refusal_ = "its socket paths (" + std::to_string(longest.size()) + " bytes) are longer than " +
               std::to_string(sizeof address.sun_path - 1) + " bytes";
    usable_ = false;
  }
  self_ = bus::ProcessIdOf(static_cast<std::uint32_t>(getpid()));
  if (usable_ && !self_) {
    refusal_ = "this program's own entry in /proc cannot be read";
    usable_ = false;
  }
}

DesktopBus::~DesktopBus() {
  std::lock_guard lock(mutex_);
  for (auto& [handle, window] : windows_) {
    for (auto& connection : window->connections) close(connection->fd);
    close(window->listen_fd);
    registry_.Withdraw(handle);
  }
}

WindowHandle DesktopBus::CreateTopLevelWindow(std::string_view class_name,
                                              WindowProcedure& procedure) {
  if (!usable_ || class_name.empty() || class_name.size() > bus::kMaxClassName) return 0;
  bus::Registry::Lock lock(registry_, kCreateLockLimit);
  if (!lock.held()) return 0;
  const WindowHandle first = options_.first_handle;
  const WindowHandle last = options_.last_handle;
  const auto after = [&](WindowHandle h) { return h == last ? first : h + 1; };
  const std::int64_t range = static_cast<std::int64_t>(last) - first + 1;
  WindowHandle candidate = registry_.NextCandidate(lock, first, last);
  for (std::int64_t probe = 0; probe < std::min<std::int64_t>(range, 65536);
       ++probe, candidate = after(candidate)) {
    {
      std::lock_guard guard(mutex_);
      if (windows_.count(candidate) != 0) continue;
    }
    if (!registry_.ClaimFree(lock, candidate)) continue;
    sockaddr_un address{};
    if (!FillAddress(registry_.SocketPath(candidate), address)) return 0;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
      close(fd);
      return 0;
    }
    const int registration = registry_.Publish(lock, candidate, class_name, *self_);
    if (registration < 0) {
      close(fd);
      unlink(address.sun_path);
      return 0;
    }
    registry_.StoreNext(lock, after(candidate));
    auto window = std::make_shared<Window>();
    window->handle = candidate;
    window->owner = std::this_thread::get_id();
    window->procedure = &procedure;
    window->listen_fd = fd;
    window->heartbeat = std::make_unique<bus::Heartbeat>(registration);
    window->heartbeat->Beat(false);
    std::lock_guard guard(mutex_);
    windows_[candidate] = std::move(window);
    return candidate;
  }
  return 0;
}

void DesktopBus::DestroyTopLevelWindow(WindowHandle handle) {
  std::shared_ptr<Window> window;
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(handle);
    if (it == windows_.end() || it->second->owner != std::this_thread::get_id()) return;
    window = it->second;
    windows_.erase(it);
  }
  window->alive = false;
  // The socket goes before the registration (Withdraw), so nobody finds a
  // registered window that cannot be reached once we are past this point.
  registry_.Withdraw(handle);
  close(window->listen_fd);
  window->listen_fd = -1;
  for (auto& connection : window->connections) {
    // A message being served when its window goes still gets its answer, as
    // on Windows; Dispatch closes that connection afterwards.
    if (connection->busy) continue;
    close(connection->fd);
    connection->fd = -1;
  }
  window->connections.clear();
}

std::vector<DesktopWindow> DesktopBus::EnumWindows() {
  if (!usable_) return {};
  return registry_.List();
}

SendOutcome DesktopBus::SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                                    std::uint32_t lparam, std::chrono::milliseconds limit) {
  return Send(to, bus::kKindMessage, message, wparam, lparam, {}, limit);
}

SendOutcome DesktopBus::SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                                     ByteView data, std::chrono::milliseconds limit) {
  if (data.size() > bus::kMaxCopyData) return {SendOutcome::Kind::kFailed, 0};
  return Send(to, bus::kKindCopyData, kWmCopyData, wparam, dw_data, data, limit);
}

std::optional<bool> DesktopBus::IsHung(WindowHandle window) {
  if (!usable_) return std::nullopt;
  const auto registration = registry_.Read(window);
  if (!registration) return false;
  const auto beat = bus::ReadHeartbeat(registry_.RegistrationPath(window));
  if (!beat) return false;
  // A thread stopped inside its wait still says it waits, yet serves nothing
  // until it is continued: it is not waiting, as a suspended window on
  // Windows is not. Its last stamp may be older than the stop, so one that
  // had idled longer than the limit is hung at once; it answers no send
  // either way, and this spares every sender the wait.
  if (beat->second && !bus::IsStopped(registration->owner)) return false;
  const std::uint64_t now = bus::MonotonicMs();
  const auto limit = static_cast<std::uint64_t>(options_.hung_after.count());
  return now > beat->first && now - beat->first > limit;
}

void DesktopBus::Pump() {
  for (int round = 0; round < kPumpRounds; ++round) {
    std::vector<pollfd> fds;
    const ServeSet set = AddServing(fds);
    if (set.windows.empty()) return;
    BeatAll(set.windows, false);
    const int ready = poll(fds.data(), fds.size(), 0);
    const bool served = ready > 0 && ServeReported(set, fds, 0);
    for (const auto& window : set.windows) {
      if (window->alive) DropStalled(*window);
    }
    if (!served) break;
  }
  BeatAll(OwnWindows(), false);
}

void DesktopBus::WaitForInput(Clock::time_point until) {
  WaitForInputOr(until, {});
}

void DesktopBus::WaitForInputOr(Clock::time_point until, std::vector<pollfd> fds) {
  const ServeSet set = AddServing(fds);
  BeatAll(set.windows, true);
  // EINTR ends the wait: a stop request is seen at once.
  poll(fds.data(), fds.size(), PollTimeout(until));
  BeatAll(set.windows, false);
}

std::vector<int> DesktopBus::InputDescriptors() {
  std::vector<pollfd> fds;
  AddServing(fds);
  std::vector<int> descriptors;
  descriptors.reserve(fds.size());
  for (const pollfd& entry : fds) descriptors.push_back(entry.fd);
  return descriptors;
}

SendOutcome DesktopBus::Send(WindowHandle to, std::uint32_t kind, std::uint32_t message,
                             std::uint32_t wparam, std::uint32_t value, ByteView data,
                             std::chrono::milliseconds limit) {
  if (!usable_) return {SendOutcome::Kind::kFailed, 0};
  const auto deadline = Clock::now() + std::max(limit, std::chrono::milliseconds(0));
  if (const auto own = FindWindow(to); own && own->owner == std::this_thread::get_id()) {
    return CallDirect(*own, kind, message, wparam, value, data);
  }
  if (!registry_.Read(to)) return {SendOutcome::Kind::kNoWindow, 0};
  if (IsHung(to) == true) return {SendOutcome::Kind::kTimedOut, 0};

  sockaddr_un address{};
  if (!FillAddress(registry_.SocketPath(to), address)) return {SendOutcome::Kind::kFailed, 0};
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return {SendOutcome::Kind::kFailed, 0};
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  while (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    // A full backlog: the window's thread has not yet taken the connections
    // before ours, healthy and between two rounds of serving or not serving
    // at all. Only the limit tells the two apart.
    if (errno != EAGAIN) return Lost(to);
    if (Clock::now() >= deadline) return {SendOutcome::Kind::kTimedOut, 0};
    ServeWhileWaiting(std::min(deadline, Clock::now() + kConnectRetry));
  }
  if (!PeerIsUs(fd)) return {SendOutcome::Kind::kFailed, 0};

  bus::Request request{kind, static_cast<std::uint32_t>(to), message, wparam, value, {}};
  const Bytes header = bus::EncodeRequestHeader(request, data.size());
  const std::size_t total = header.size() + data.size();
  std::size_t written = 0;
  std::uint8_t answer[bus::kAnswerSize];
  std::size_t answered = 0;

  while (true) {
    if (Clock::now() >= deadline) return {SendOutcome::Kind::kTimedOut, 0};
    std::vector<pollfd> fds{{fd, static_cast<short>(POLLIN | (written < total ? POLLOUT : 0)), 0}};
    const ServeSet set = AddServing(fds);
    BeatAll(set.windows, true);
    const int ready = poll(fds.data(), fds.size(), PollTimeout(deadline));
    BeatAll(set.windows, false);
    if (ready < 0 && errno != EINTR) return {SendOutcome::Kind::kFailed, 0};
    if (ready <= 0) continue;

    if ((fds[0].revents & POLLOUT) != 0 && written < total) {
      iovec parts[2];
      int count = 0;
      if (written < header.size()) {
        parts[count++] = {const_cast<std::uint8_t*>(header.data()) + written,
                          header.size() - written};
      }
      const std::size_t data_done = written > header.size() ? written - header.size() : 0;
      if (data_done < data.size()) {
        parts[count++] = {const_cast<std::uint8_t*>(data.data()) + data_done,
                          data.size() - data_done};
      }
      msghdr out{};
      out.msg_iov = parts;
      out.msg_iovlen = static_cast<std::size_t>(count);
      const ssize_t put = sendmsg(fd, &out, MSG_NOSIGNAL);
      if (put > 0) {
        written += static_cast<std::size_t>(put);
      } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        return Lost(to);
      }
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t got = recv(fd, answer + answered, sizeof answer - answered, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return Lost(to);
      if (got > 0) answered += static_cast<std::size_t>(got);
      if (answered == sizeof answer) {
        const auto decoded = bus::DecodeAnswer(ByteView(answer, sizeof answer));
        // An answer before the whole request went out is no answer to it.
        if (!decoded || written < total) return {SendOutcome::Kind::kFailed, 0};
        if (decoded->status == bus::kStatusNoWindow) return {SendOutcome::Kind::kNoWindow, 0};
        return {SendOutcome::Kind::kAnswered, decoded->result};
      }
    }
    ServeReported(set, fds, 1);
  }
}

void DesktopBus::ServeWhileWaiting(Clock::time_point until) {
  std::vector<pollfd> fds;
  const ServeSet set = AddServing(fds);
  BeatAll(set.windows, true);
  const int ready = poll(fds.data(), fds.size(), PollTimeout(until));
  BeatAll(set.windows, false);
  if (ready > 0) ServeReported(set, fds, 0);
}

SendOutcome DesktopBus::CallDirect(Window& window, std::uint32_t kind, std::uint32_t message,
                                   std::uint32_t wparam, std::uint32_t value, ByteView data) {
  // As on Windows, a send to one's own thread is a plain call.
  const std::int32_t result = kind == bus::kKindCopyData
                                  ? window.procedure->OnCopyData(wparam, value, data)
                                  : window.procedure->OnMessage(message, wparam, value);
  return {SendOutcome::Kind::kAnswered, result};
}

SendOutcome DesktopBus::Lost(WindowHandle to) {
  // Gone for good, or still registered and live but not carrying our frame.
  if (!registry_.Read(to)) return {SendOutcome::Kind::kNoWindow, 0};
  return {SendOutcome::Kind::kFailed, 0};
}

std::vector<std::shared_ptr<DesktopBus::Window>> DesktopBus::OwnWindows() {
  std::vector<std::shared_ptr<Window>> own;
  const auto me = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  for (const auto& [handle, window] : windows_) {
    if (window->owner == me) own.push_back(window);
  }
  return own;
}

std::shared_ptr<DesktopBus::Window> DesktopBus::FindWindow(WindowHandle handle) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second;
}

void DesktopBus::BeatAll(const std::vector<std::shared_ptr<Window>>& windows, bool waiting) {
  for (const auto& window : windows) {
    if (window->alive) window->heartbeat->Beat(waiting);
  }
}

DesktopBus::ServeSet DesktopBus::AddServing(std::vector<pollfd>& fds) {
  ServeSet set;
  set.windows = OwnWindows();
  for (const auto& window : set.windows) {
    fds.push_back({window->listen_fd, POLLIN, 0});
    set.connections.push_back(nullptr);
    set.owners.push_back(window.get());
    for (const auto& connection : window->connections) {
      if (connection->busy || connection->fd < 0) continue;
      fds.push_back({connection->fd, POLLIN, 0});
      set.connections.push_back(connection);
      set.owners.push_back(window.get());
    }
  }
  return set;
}

bool DesktopBus::ServeReported(const ServeSet& set, const std::vector<pollfd>& fds,
                               std::size_t first) {
  bool progress = false;
  for (std::size_t i = 0; i < set.connections.size(); ++i) {
    const short events = fds[first + i].revents;
    if (events == 0) continue;
    Window& window = *set.owners[i];
    // An earlier message in this round may have destroyed the window.
    if (!window.alive) continue;
    const auto& connection = set.connections[i];
    if (!connection) {
      Accept(window);
      progress = true;
    } else if (connection->fd >= 0 && !connection->busy) {
      progress = ReadFrom(window, connection) || progress;
    }
  }
  return progress;
}

void DesktopBus::Accept(Window& window) {
  for (int i = 0; i < 8; ++i) {
    const int fd = accept4(window.listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!PeerIsUs(fd)) {
      close(fd);
      continue;
    }
    if (window.connections.size() >= kMaxConnections) {
      std::shared_ptr<Connection> idlest;
      for (const auto& c : window.connections) {
        if (c->busy || c->reader.Started()) continue;
        if (!idlest || c->last_used < idlest->last_used) idlest = c;
      }
      if (!idlest) {
        close(fd);
        continue;
      }
      CloseConnection(window, idlest);
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->last_used = Clock::now();
    window.connections.push_back(std::move(connection));
  }
}

bool DesktopBus::ReadFrom(Window& window, const std::shared_ptr<Connection>& connection) {
  std::uint8_t buffer[4096];
  Bytes chunk;
  bool progress = false;
  for (int i = 0; i < kChunksPerRound; ++i) {
    std::size_t held = 0;
    for (const auto& c : window.connections) held += c->reader.Buffered();
    const std::size_t wanted = std::min(connection->reader.Wanted(), kReadChunk);
    if (held + wanted > kWindowBuffer) {
      CloseConnection(window, connection);
      return true;
    }
    ssize_t got;
    if (wanted <= sizeof buffer) {
      got = recv(connection->fd, buffer, wanted, 0);
      if (got > 0) chunk.assign(buffer, buffer + got);
    } else {
      chunk.resize(wanted);
      got = recv(connection->fd, chunk.data(), wanted, 0);
      if (got > 0) chunk.resize(static_cast<std::size_t>(got));
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return progress;
    if (got <= 0) {
      CloseConnection(window, connection);
      return true;
    }
    if (!connection->reader.Started()) connection->frame_started = Clock::now();
    progress = true;
    const auto state = connection->reader.Feed(chunk);
    if (state == bus::RequestReader::State::kBad) {
      CloseConnection(window, connection);
      return true;
    }
    if (state == bus::RequestReader::State::kComplete) {
      Dispatch(window, connection);
      return true;
    }
  }
  return progress;
}

void DesktopBus::Dispatch(Window& window, const std::shared_ptr<Connection>& connection) {
  const bus::Request request = connection->reader.Take();
  bus::Answer answer;
  if (request.to != static_cast<std::uint32_t>(window.handle)) {
    answer.status = bus::kStatusNoWindow;
  } else {
    connection->busy = true;
    window.heartbeat->Beat(false);
    answer.result =
        request.kind == bus::kKindCopyData
            ? window.procedure->OnCopyData(request.wparam, request.value, request.data)
            : window.procedure->OnMessage(request.message, request.wparam, request.value);
    connection->busy = false;
    if (window.alive) window.heartbeat->Beat(false);
  }
  if (connection->fd < 0) return;
  connection->last_used = Clock::now();
  const Bytes bytes = bus::EncodeAnswer(answer);
  const ssize_t put = send(connection->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  // A peer that does not take twelve bytes is not reading its answers; and a
  // window destroyed by its own procedure keeps no connection past the answer.
  if (put != static_cast<ssize_t>(bytes.size()) || !window.alive) {
    CloseConnection(window, connection);
  }
}

void DesktopBus::CloseConnection(Window& window, const std::shared_ptr<Connection>& connection) {
  if (connection->fd >= 0) close(connection->fd);
  connection->fd = -1;
  std::erase(window.connections, connection);
}

void DesktopBus::DropStalled(Window& window) {
  const auto now = Clock::now();
  const auto stalled = window.connections;
  for (const auto& connection : stalled) {
    if (!connection->busy && connection->reader.Started() &&
        now - connection->frame_started > kFrameTime) {
      CloseConnection(window, connection);
    }
  }
}

}  // namespace trivane
