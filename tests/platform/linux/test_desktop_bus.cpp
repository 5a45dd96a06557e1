#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/desktop_bus.h"
#include "platform/linux/desktop_bus_registry.h"
#include "platform/linux/desktop_bus_wire.h"
#include "support/sum_window.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using Kind = SendOutcome::Kind;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWmUser = 0x0400;

using testing::Fnv;
using testing::SumWindow;

// A forked program on the same bus; two pipes carry 32-bit words either way,
// every read with a limit. Killed if the test forgets it.
class Child {
 public:
  explicit Child(const std::function<void(Child&)>& body) {
    if (pipe(up_) != 0 || pipe(down_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(up_[0]);
      close(down_[1]);
      body(*this);
      _exit(0);
    }
    close(up_[1]);
    close(down_[0]);
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Reap();
    }
    close(up_[0]);
    close(down_[1]);
  }
  pid_t pid() const { return pid_; }

  // Either side: a word to the other, and the next word from it.
  void Put(std::uint32_t word) {
    const int fd = pid_ == 0 ? up_[1] : down_[1];
    if (write(fd, &word, sizeof word) != sizeof word) _exit(3);
  }
  std::optional<std::uint32_t> Get(milliseconds limit) {
    pollfd entry{pid_ == 0 ? down_[0] : up_[0], POLLIN, 0};
    std::uint32_t word = 0;
    if (poll(&entry, 1, static_cast<int>(limit.count())) != 1) return std::nullopt;
    if (read(entry.fd, &word, sizeof word) != sizeof word) return std::nullopt;
    return word;
  }
  bool HasWord() {
    pollfd entry{pid_ == 0 ? down_[0] : up_[0], POLLIN, 0};
    return poll(&entry, 1, 0) == 1;
  }
  void Reap() {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  int up_[2] = {-1, -1};
  int down_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// The child's loop: serves its windows until the parent sends a word, for 20 s at most.
void ServeUntilTold(DesktopBus& bus, Child& child) {
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < end && !child.HasWord()) {
    bus.WaitForInput(Clock::now() + milliseconds(10));
    bus.Pump();
  }
}

template <typename Done>
bool Within(milliseconds limit, Done done) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return done();
}

bool Listed(DesktopBus& bus, WindowHandle handle) {
  const auto windows = bus.EnumWindows();
  return std::any_of(windows.begin(), windows.end(),
                     [&](const DesktopWindow& w) { return w.handle == handle; });
}

class DesktopBusTest : public ::testing::Test {
 protected:
  DesktopBusOptions Options() const {
    DesktopBusOptions options;
    options.directory = (temp / "bus").string();
    options.hung_after = milliseconds(1500);
    return options;
  }
  int RawConnect(const DesktopBus& bus, WindowHandle handle) const {
    char name[16];
    std::snprintf(name, sizeof name, "/%08x.sock", static_cast<std::uint32_t>(handle));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (bus.Directory() + name).c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  testing::TempDir temp;
};

TEST(DesktopBusFrames, RequestReaderTakesOneFrameAndRefusesBadOnes) {
  bus::Request sent{bus::kKindCopyData, 0x10001, kWmCopyData, 5, 7, {}};
  Bytes frame = bus::EncodeRequestHeader(sent, 3);
  frame.insert(frame.end(), {1, 2, 3});
  bus::RequestReader reader;
  for (std::size_t i = 0; i < frame.size(); ++i) {
    ASSERT_EQ(reader.Wanted(),
              i < bus::kRequestHeaderSize ? bus::kRequestHeaderSize - i : frame.size() - i);
    const auto state = reader.Feed(ByteView(frame).subspan(i, 1));
    EXPECT_EQ(state, i + 1 == frame.size() ? bus::RequestReader::State::kComplete
                                           : bus::RequestReader::State::kNeedMore);
  }
  const bus::Request got = reader.Take();
  EXPECT_EQ(got.to, 0x10001u);
  EXPECT_EQ(got.wparam, 5u);
  EXPECT_EQ(got.value, 7u);
  EXPECT_EQ(got.data, (Bytes{1, 2, 3}));
  EXPECT_EQ(reader.Wanted(), bus::kRequestHeaderSize);

  const auto verdict = [](bus::Request request, std::size_t length) {
    bus::RequestReader r;
    return r.Feed(bus::EncodeRequestHeader(request, length));
  };
  using State = bus::RequestReader::State;
  EXPECT_EQ(verdict({9, 1, 0, 0, 0, {}}, 0), State::kBad);
  EXPECT_EQ(verdict({bus::kKindMessage, 1, kWmUser, 0, 0, {}}, 1), State::kBad);
  EXPECT_EQ(verdict({bus::kKindCopyData, 1, kWmUser, 0, 0, {}}, 1), State::kBad);
  EXPECT_EQ(verdict({bus::kKindCopyData, 1, kWmCopyData, 0, 0, {}}, bus::kMaxCopyData + 1),
            State::kBad);
  EXPECT_EQ(verdict({bus::kKindCopyData, 1, kWmCopyData, 0, 0, {}}, bus::kMaxCopyData),
            State::kNeedMore);
  bus::RequestReader greedy;
  EXPECT_EQ(greedy.Feed(Bytes(bus::kRequestHeaderSize + 1, 0)), State::kBad);

  EXPECT_TRUE(bus::DecodeAnswer(bus::EncodeAnswer({bus::kStatusNoWindow, -5})));
  EXPECT_EQ(bus::DecodeAnswer(bus::EncodeAnswer({0, -5}))->result, -5);
  Bytes wrong = bus::EncodeAnswer({});
  wrong[4] = 9;
  EXPECT_FALSE(bus::DecodeAnswer(wrong));
  EXPECT_FALSE(bus::DecodeAnswer(ByteView(bus::EncodeAnswer({})).first(11)));
}

TEST_F(DesktopBusTest, DirectoryIsCreatedPrivateAndRefusedWhenOpenOrNotOurs) {
  {
    DesktopBus bus(Options());
    EXPECT_TRUE(bus.Usable());
    struct stat info {};
    ASSERT_EQ(lstat(bus.Directory().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  // What the operator is told, or nothing when the bus was not wholly refused.
  const auto refused = [&](const std::string& directory) -> std::optional<std::string> {
    DesktopBusOptions options = Options();
    options.directory = directory;
    DesktopBus bus(options);
    SumWindow window;
    const bool unusable =
        !bus.Usable() && bus.CreateTopLevelWindow("X", window) == 0 &&
        bus.SendMessage(0x10000, kWmUser, 0, 0, milliseconds(10)).kind == Kind::kFailed &&
        !bus.IsHung(0x10000).has_value() && bus.EnumWindows().empty();
    if (!unusable) return std::nullopt;
    return bus.Where();
  };
  const auto told = [](const std::string& directory, const std::string& why) {
    return "the desktop bus in " + directory + " (" + why + ")";
  };
  const std::string open_dir = (temp / "open").string();
  ASSERT_EQ(mkdir(open_dir.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open_dir.c_str(), 0750), 0);
  EXPECT_EQ(refused(open_dir), told(open_dir, "its mode is 0750: group or others have access"));
  ASSERT_EQ(chmod(open_dir.c_str(), 0703), 0);
  EXPECT_EQ(refused(open_dir), told(open_dir, "its mode is 0703: group or others have access"));
  const std::string link = (temp / "link").string();
  ASSERT_EQ(symlink((temp / "bus").c_str(), link.c_str()), 0);
  EXPECT_EQ(refused(link), told(link, "it is a symbolic link"));
  // The longest socket path, 0x7fffffff's, must fit in a socket address.
  std::string deep = temp.path().string() + "/";
  deep += std::string(107 - deep.size() - std::strlen("/7fffffff.sock") + 1, 'd');
  EXPECT_EQ(refused(deep), told(deep, "its socket paths (108 bytes) are longer than 107 bytes"));
  deep.pop_back();
  EXPECT_EQ(refused(deep), std::nullopt) << "107 bytes fit";

  if (geteuid() != 0) GTEST_SKIP() << "another owner needs root to chown";
  const std::string theirs = (temp / "theirs").string();
  ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_EQ(refused(theirs), told(theirs, "it belongs to user 65534, not to user 0"));
}

TEST(DesktopBusDirectory, OverriddenByEnvironmentElseRuntimeDirElseTmp) {
  const char* saved_bus = std::getenv("TRIVANE_BUS_DIR");
  const char* saved_xdg = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep_bus = saved_bus ? saved_bus : "";
  const std::string keep_xdg = saved_xdg ? saved_xdg : "";
  setenv("TRIVANE_BUS_DIR", "/somewhere/bus", 1);
  setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
  EXPECT_EQ(bus::DefaultBusDirectory(), "/somewhere/bus");
  unsetenv("TRIVANE_BUS_DIR");
  EXPECT_EQ(bus::DefaultBusDirectory(), "/run/user/77/trivane-bus");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(bus::DefaultBusDirectory(), "/tmp/trivane-bus-" + std::to_string(geteuid()));
  if (saved_bus) setenv("TRIVANE_BUS_DIR", keep_bus.c_str(), 1);
  if (saved_xdg) setenv("XDG_RUNTIME_DIR", keep_xdg.c_str(), 1);
}

// What every desktop does is asked of the bus in test_system_desktop.cpp;
// here, what only the bus adds: its files, its frames, its handle range and
// programs that die.
TEST_F(DesktopBusTest, ClassNamesAreBoundedAndHandlesComeBackWhenFree) {
  DesktopBusOptions options = Options();
  options.first_handle = 0x10000;
  options.last_handle = 0x10001;
  DesktopBus bus(options);
  SumWindow procedure;
  const std::string longest(255, 'k');
  EXPECT_EQ(bus.CreateTopLevelWindow(std::string(256, 'k'), procedure), 0);
  EXPECT_EQ(bus.CreateTopLevelWindow("", procedure), 0);
  const WindowHandle a = bus.CreateTopLevelWindow("TStudio", procedure);
  const WindowHandle b = bus.CreateTopLevelWindow(longest, procedure);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_EQ(bus.CreateTopLevelWindow("Third", procedure), 0) << "the range holds two";

  DesktopBus other(options);
  auto windows = other.EnumWindows();
  std::sort(windows.begin(), windows.end(),
            [](const auto& x, const auto& y) { return x.handle < y.handle; });
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0].handle, std::min(a, b));
  EXPECT_EQ(windows[0].class_name, a < b ? "TStudio" : longest);
  EXPECT_EQ(windows[1].class_name, a < b ? longest : "TStudio");

  bus.DestroyTopLevelWindow(a);
  const WindowHandle reused = other.CreateTopLevelWindow("TRelay", procedure);
  EXPECT_EQ(reused, a);
  windows = bus.EnumWindows();
  EXPECT_EQ(windows.size(), 2u);
  for (const auto& w : windows) {
    if (w.handle == a) {
      EXPECT_EQ(w.class_name, "TRelay");
    }
  }
}

TEST_F(DesktopBusTest, WindowOfADeadProgramIsNotListedAndItsFilesAreCleared) {
  DesktopBusOptions options = Options();
  options.first_handle = options.last_handle = 0x20000;
  Child child([&](Child& self) {
    DesktopBus bus(options);
    SumWindow procedure;
    self.Put(static_cast<std::uint32_t>(bus.CreateTopLevelWindow("Doomed", procedure)));
    self.Get(milliseconds(20000));
  });
  ASSERT_EQ(child.Get(milliseconds(5000)), 0x20000u);
  DesktopBus bus(options);
  EXPECT_TRUE(Listed(bus, 0x20000));
  SumWindow procedure;
  EXPECT_EQ(bus.CreateTopLevelWindow("Mine", procedure), 0) << "the one handle is taken";

  kill(child.pid(), SIGKILL);
  // Not reaped yet: a zombie counts as dead.
  EXPECT_TRUE(Within(milliseconds(3000), [&] { return !Listed(bus, 0x20000); }));
  const std::filesystem::path dir(bus.Directory());
  EXPECT_FALSE(std::filesystem::exists(dir / "00020000.win"));
  EXPECT_FALSE(std::filesystem::exists(dir / "00020000.sock"));
  EXPECT_EQ(bus.SendMessage(0x20000, kWmUser, 0, 0, milliseconds(500)).kind, Kind::kNoWindow);
  EXPECT_FALSE(bus.IsHung(0x20000).value_or(true));
  EXPECT_EQ(bus.CreateTopLevelWindow("Mine", procedure), 0x20000);
}

TEST_F(DesktopBusTest, AProgramStoppedInItsWaitIsHungOnceItHasNotServedForTheLimit) {
  Child child([&](Child& self) {
    DesktopBus bus(Options());
    SumWindow procedure;
    self.Put(static_cast<std::uint32_t>(bus.CreateTopLevelWindow("Stopped", procedure)));
    // An idle program's one long wait: it stamps on the way in, and then not
    // again until something comes.
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < end && !self.HasWord()) {
      bus.WaitForInput(end);
      bus.Pump();
    }
  });
  const auto handle = child.Get(milliseconds(5000));
  ASSERT_TRUE(handle && *handle != 0);
  const auto target = static_cast<WindowHandle>(*handle);
  DesktopBus bus(Options());
  const std::string registration = bus::Registry(bus.Directory()).RegistrationPath(target);
  ASSERT_TRUE(Within(milliseconds(3000), [&] {
    const auto beat = bus::ReadHeartbeat(registration);
    return beat && beat->second;
  })) << "the child is in its wait";
  const auto owner = bus::ProcessIdOf(static_cast<std::uint32_t>(child.pid()));
  ASSERT_TRUE(owner);

  ASSERT_EQ(kill(child.pid(), SIGSTOP), 0);
  ASSERT_TRUE(Within(milliseconds(3000), [&] { return bus::IsStopped(*owner); }));
  EXPECT_FALSE(bus.IsHung(target).value_or(true)) << "it served a moment ago";
  EXPECT_TRUE(Within(Options().hung_after + milliseconds(1500),
                     [&] { return bus.IsHung(target).value_or(false); }));
  auto start = Clock::now();
  EXPECT_EQ(bus.SendMessage(target, kWmUser, 1, 2, milliseconds(3000)).kind, Kind::kTimedOut);
  EXPECT_LT(Clock::now() - start, milliseconds(500)) << "a hung window is not waited for";

  // Continued, it is back in the same wait: it serves again at once.
  ASSERT_EQ(kill(child.pid(), SIGCONT), 0);
  EXPECT_TRUE(Within(milliseconds(3000), [&] { return !bus.IsHung(target).value_or(true); }));
  const auto answered = bus.SendMessage(target, kWmUser, 1, 2, milliseconds(3000));
  EXPECT_TRUE(answered.Answered());
  EXPECT_EQ(answered.result, 3);
  child.Put(0);
}

// Threads stand in for programs: a receiver that serves now and then, as a
// busy but healthy program does, and more senders at once than its backlog holds.
TEST_F(DesktopBusTest, SendersBeyondTheBacklogWaitForAReceiverThatServesLate) {
  DesktopBus bus(Options());
  SumWindow procedure;
  std::atomic<WindowHandle> target{0};
  std::atomic<bool> stop{false};
  std::thread receiver([&] {
    target = bus.CreateTopLevelWindow("Busy", procedure);
    while (!stop) {
      std::this_thread::sleep_for(milliseconds(50));
      bus.Pump();
    }
  });
  ASSERT_TRUE(Within(milliseconds(3000), [&] { return target != 0; }));
  constexpr int kSenders = 48;
  std::vector<SendOutcome> outcomes(kSenders);
  {
    std::vector<std::jthread> senders;
    for (int n = 0; n < kSenders; ++n) {
      senders.emplace_back([&, n] {
        outcomes[static_cast<std::size_t>(n)] =
            bus.SendMessage(target, kWmUser, static_cast<std::uint32_t>(n), 1, milliseconds(5000));
      });
    }
  }
  stop = true;
  receiver.join();
  for (int n = 0; n < kSenders; ++n) {
    const SendOutcome& out = outcomes[static_cast<std::size_t>(n)];
    EXPECT_TRUE(out.Answered()) << "sender " << n;
    EXPECT_EQ(out.result, n + 1);
  }
}

TEST_F(DesktopBusTest, AReceiverThatDiesWhileServingEndsTheSendPromptly) {
  Child child([&](Child& self) {
    DesktopBus bus(Options());
    SumWindow procedure;
    procedure.on_message = [](std::uint32_t, std::uint32_t, std::uint32_t) -> std::int32_t {
      _exit(0);
    };
    self.Put(static_cast<std::uint32_t>(bus.CreateTopLevelWindow("Dying", procedure)));
    ServeUntilTold(bus, self);
  });
  const auto handle = child.Get(milliseconds(5000));
  ASSERT_TRUE(handle && *handle != 0);
  DesktopBus bus(Options());
  const auto start = Clock::now();
  const auto out =
      bus.SendMessage(static_cast<WindowHandle>(*handle), kWmUser, 0, 0, milliseconds(10000));
  EXPECT_TRUE(out.kind == Kind::kNoWindow || out.kind == Kind::kFailed);
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
}

TEST_F(DesktopBusTest, BadFramesCloseOnlyTheirConnectionAndAMebibyteCopyPasses) {
  Child child([&](Child& self) {
    DesktopBus bus(Options());
    SumWindow procedure;
    self.Put(static_cast<std::uint32_t>(bus.CreateTopLevelWindow("Target", procedure)));
    ServeUntilTold(bus, self);
  });
  const auto handle = child.Get(milliseconds(5000));
  ASSERT_TRUE(handle && *handle != 0);
  const auto target = static_cast<WindowHandle>(*handle);
  DesktopBus bus(Options());

  const auto closed_after = [&](const Bytes& frame) {
    const int fd = RawConnect(bus, target);
    if (fd < 0) return false;
    const bool sent = write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
    std::uint8_t byte;
    const bool eof = sent && read(fd, &byte, 1) == 0;  // SO_RCVTIMEO bounds it
    close(fd);
    return eof;
  };
  const auto to = static_cast<std::uint32_t>(target);
  EXPECT_TRUE(closed_after(bus::EncodeRequestHeader({9, to, 0, 0, 0, {}}, 0)));
  EXPECT_TRUE(closed_after(
      bus::EncodeRequestHeader({bus::kKindCopyData, to, kWmCopyData, 0, 0, {}}, 64u << 20)));
  EXPECT_TRUE(closed_after(bus::EncodeRequestHeader({bus::kKindMessage, to, 1, 0, 0, {}}, 4)));
  // Half a header, and the peer holds it: the window goes on serving others.
  const int half = RawConnect(bus, target);
  ASSERT_GE(half, 0);
  ASSERT_EQ(write(half, "\x01\x00\x00", 3), 3);

  // A request built by hand from the documented layout, answered in it.
  const int raw = RawConnect(bus, target);
  ASSERT_GE(raw, 0);
  const std::uint8_t request[24] = {1,
                                    0,
                                    0,
                                    0,
                                    std::uint8_t(to),
                                    std::uint8_t(to >> 8),
                                    std::uint8_t(to >> 16),
                                    std::uint8_t(to >> 24),
                                    0,
                                    4,
                                    0,
                                    0,
                                    40,
                                    0,
                                    0,
                                    0,
                                    2,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0};
  ASSERT_EQ(write(raw, request, sizeof request), 24);
  std::uint8_t answer[12] = {};
  ASSERT_EQ(recv(raw, answer, sizeof answer, MSG_WAITALL), 12);
  const std::uint8_t expected[12] = {3, 0, 0, 0, 0, 0, 0, 0, 42, 0, 0, 0};
  EXPECT_EQ(std::memcmp(answer, expected, 12), 0);
  close(raw);

  Bytes big(1u << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 991);
  const auto copied = bus.SendCopyData(target, 0, 7, big, milliseconds(5000));
  EXPECT_EQ(copied.kind, Kind::kAnswered);
  EXPECT_EQ(copied.result, Fnv(big));
  close(half);

  // Half-sent big copies on three connections: the one that would take the
  // window past its budget is closed, the others go on.
  const auto begin_copy = [&](std::size_t sent) {
    const int fd = RawConnect(bus, target);
    Bytes frame = bus::EncodeRequestHeader({bus::kKindCopyData, to, kWmCopyData, 0, 7, {}},
                                           bus::kMaxCopyData);
    frame.insert(frame.end(), big.begin(), big.end());
    while (frame.size() < bus::kRequestHeaderSize + sent) frame.push_back(1);
    std::size_t done = 0;
    while (fd >= 0 && done < frame.size()) {
      const ssize_t put = send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    return std::make_pair(fd, done == frame.size());
  };
  const auto first = begin_copy(3u << 20);
  const auto second = begin_copy(3u << 20);
  const auto third = begin_copy(3u << 20);
  EXPECT_TRUE(first.second);
  EXPECT_TRUE(second.second);
  EXPECT_FALSE(third.second);
  Bytes rest(bus::kMaxCopyData - (3u << 20), 1);
  ASSERT_EQ(send(first.first, rest.data(), rest.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(rest.size()));
  std::uint8_t big_answer[12] = {};
  ASSERT_EQ(recv(first.first, big_answer, sizeof big_answer, MSG_WAITALL), 12);
  Bytes whole = big;
  whole.resize(bus::kMaxCopyData, 1);
  const auto decoded = bus::DecodeAnswer(ByteView(big_answer, sizeof big_answer));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->result, Fnv(whole));
  for (const int fd : {first.first, second.first, third.first}) close(fd);
  child.Put(0);
}

extern "C" void IgnoreSignal(int) {}

TEST_F(DesktopBusTest, WaitForInputEndsOnASendOrASignal) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = IgnoreSignal;
  action.sa_flags = SA_RESTART;  // poll ends with EINTR even so
  sigaction(SIGUSR1, &action, &previous);
  DesktopBus bus(Options());
  SumWindow procedure;
  const WindowHandle mine = bus.CreateTopLevelWindow("Waiter", procedure);
  ASSERT_NE(mine, 0);
  const pid_t parent = getpid();
  Child sender([&](Child& self) {
    DesktopBus other(Options());
    self.Get(milliseconds(5000));
    const auto out = other.SendMessage(mine, kWmUser, 3, 4, milliseconds(5000));
    self.Put(out.Answered() ? static_cast<std::uint32_t>(out.result) : 0);
    // Then signals until told to stop, so one lands inside the wait.
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end && !self.HasWord()) {
      kill(parent, SIGUSR1);
      std::this_thread::sleep_for(milliseconds(100));
    }
  });
  sender.Put(1);
  auto start = Clock::now();
  bus.WaitForInput(start + std::chrono::seconds(8));
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  EXPECT_EQ(procedure.messages, 0) << "waiting serves nothing";
  std::optional<std::uint32_t> answered;
  Within(milliseconds(5000), [&] {
    bus.Pump();
    answered = sender.Get(milliseconds(0));
    return answered.has_value();
  });
  EXPECT_EQ(answered, 7u);

  start = Clock::now();
  bus.WaitForInput(start + std::chrono::seconds(8));
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  sender.Put(0);
  sender.Reap();
  sigaction(SIGUSR1, &previous, nullptr);
}

// As a window toolkit's event loop serves the bus: wait on the descriptors
// with a poll of its own, then pump, asking for the descriptors again each
// time because a sender's connection joins the set once it is accepted.
TEST_F(DesktopBusTest, AnOutsideEventLoopWaitingOnTheInputDescriptorsServesEverySend) {
  DesktopBus bus(Options());
  SumWindow procedure;
  const WindowHandle mine = bus.CreateTopLevelWindow("Looped", procedure);
  ASSERT_NE(mine, 0);
  EXPECT_EQ(bus.InputDescriptors().size(), 1u) << "the window's listener alone";

  std::vector<SendOutcome> outcomes;
  std::thread sender([&] {
    for (std::uint32_t n = 0; n < 3; ++n) {
      outcomes.push_back(bus.SendMessage(mine, kWmUser, n, 1, milliseconds(5000)));
    }
  });
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (procedure.messages < 3 && Clock::now() < end) {
    std::vector<pollfd> fds;
    for (const int fd : bus.InputDescriptors()) fds.push_back({fd, POLLIN, 0});
    ASSERT_FALSE(fds.empty());
    if (poll(fds.data(), fds.size(), 1000) > 0) bus.Pump();
  }
  sender.join();
  ASSERT_EQ(outcomes.size(), 3u);
  for (std::uint32_t n = 0; n < 3; ++n) {
    EXPECT_TRUE(outcomes[n].Answered());
    EXPECT_EQ(outcomes[n].result, static_cast<std::int32_t>(n + 1));
  }

  // Another thread's windows are not in this thread's set.
  std::size_t seen_elsewhere = 99;
  std::thread([&] { seen_elsewhere = bus.InputDescriptors().size(); }).join();
  EXPECT_EQ(seen_elsewhere, 0u);
}

}  // namespace
}  // namespace trivane
