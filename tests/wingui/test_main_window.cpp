#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/controller.h"
#include "platform/system_clock.h"
#include "platform/system_text_codec.h"
#include "platform/windows/wide_text.h"
#include "settings/settings_store.h"
#include "support/always_open_run_key_store.h"
#include "support/counting_links.h"
#include "support/temp_dir.h"
#include "wingui/close_window.h"
#include "wingui/main_window.h"
#include "wingui/resource_ids.h"
#include "wingui/status_grid_list.h"
#include "wingui/test_panel.h"
#include "wingui/tray_icon.h"
#include "wingui/window_front_end.h"

// The native window as the program wires it, over counting links, driven and
// read only through window messages, as another program would.
namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::CountingServer;
using testing::CountingSources;
using Clock = std::chrono::steady_clock;

struct WindowSearch {
  const wchar_t* window_class;
  const wchar_t* caption;
  HWND found = nullptr;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM context) {
  auto& wanted = *reinterpret_cast<WindowSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t text[64] = {};
  if (process != GetCurrentProcessId() || GetClassNameW(window, text, 64) == 0 ||
      std::wcscmp(text, wanted.window_class) != 0) {
    return TRUE;
  }
  if (wanted.caption != nullptr &&
      (GetWindowTextW(window, text, 64) == 0 || std::wcscmp(text, wanted.caption) != 0)) {
    return TRUE;
  }
  wanted.found = window;
  return FALSE;
}

// A top-level window of this process by its class (and caption, when given).
// The tests run side by side in one Wine desktop, where other programs have
// windows of the same class: a search over the whole desktop may find theirs.
HWND OwnTopLevelWindow(const wchar_t* window_class, const wchar_t* caption = nullptr) {
  WindowSearch search{window_class, caption};
  EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Serves the thread's windows (the ticks included) until done or the time is up.
bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

void ServeFor(std::chrono::milliseconds period) {
  ServeUntil([] { return false; }, period);
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring CellText(HWND list, int item, int column) {
  wchar_t text[512] = {};
  LVITEMW request{};
  request.iSubItem = column;
  request.pszText = text;
  request.cchTextMax = static_cast<int>(std::size(text));
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
  return text;
}

std::wstring HeaderText(HWND list, int column) {
  wchar_t text[128] = {};
  LVCOLUMNW request{};
  request.mask = LVCF_TEXT;
  request.pszText = text;
  request.cchTextMax = static_cast<int>(std::size(text));
  SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&request));
  return text;
}

int ColumnWidth(HWND list, int column) {
  return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

int ClientWidth(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect.right;
}

// A cell's rectangle, and what `read` finds in a print of the list (its
// pixels read at once: one GetPixel each is slow under Wine).
template <typename Read>
auto FromPrint(HWND list, int item, int column, Read read) {
  RECT cell{};
  cell.top = column;
  cell.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
  RECT client{};
  GetClientRect(list, &client);
  HDC screen = GetDC(list);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(client.right) *
                                    static_cast<std::size_t>(client.bottom));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(client.bottom), pixels.data(), &info,
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(list, screen);
  // A DIB pixel is 0x00RRGGBB; COLORREF is 0x00BBGGRR.
  const auto at = [&](LONG x, LONG y) -> COLORREF {
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return CLR_INVALID;
    const std::uint32_t p = pixels[static_cast<std::size_t>(y) * client.right + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  };
  return read(at, cell);
}

// The colour the list paints in the middle of a cell, away from the text,
// which starts at the cell's left.
COLORREF PaintedColour(HWND list, int item, int column) {
  return FromPrint(list, item, column, [](const auto& at, const RECT& cell) {
    return at(cell.right - 3, (cell.top + cell.bottom) / 2);
  });
}

// Whether any pixel of a cell is in the colour.
bool PaintsColour(HWND list, int item, int column, COLORREF wanted) {
  return FromPrint(list, item, column, [wanted](const auto& at, const RECT& cell) {
    for (LONG y = cell.top; y < cell.bottom; ++y) {
      for (LONG x = cell.left; x < cell.right; ++x) {
        if (at(x, y) == wanted) return true;
      }
    }
    return false;
  });
}

class WinMainWindow : public ::testing::Test {
 protected:
  void Start(const std::string& ini_body) {
    testing::WriteFileBytes(dir / "trivane.ini", "[Settings]\r\n" + ini_body);
    setup.clock = &clock;
    setup.paths = ControllerPaths{dir / "trivane.ini", dir / "Log"};
    setup.codepage = codepage.get();
    setup.make_parts = [this](LinkHost&) {
      ControllerParts parts;
      auto s = std::make_unique<CountingSources>();
      sources = s.get();
      parts.sources = std::move(s);
      auto server_link = std::make_unique<CountingServer>();
      server = server_link.get();
      parts.server = std::move(server_link);
      return parts;
    };
    setup.autostart = &run_keys;
    setup.executable_path = "C:\\Trivane\\trivane.exe";
    front_end = std::make_unique<WindowFrontEnd>(setup);
    front_end->Start();
    // The first tick applies the settings.
    ASSERT_TRUE(ServeUntil([this] { return sources->reads > 0; }));
    main = OwnTopLevelWindow(MainWindow::kClassName);
    status = GetDlgItem(main, kSGStatus);
    log = GetDlgItem(main, kSGLog);
  }

  TVL_Trivane& Controller() { return front_end->Controller(); }

  testing::TempDir dir;
  SystemClock clock;
  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("1251");
  testing::AlwaysOpenRunKeyStore run_keys;
  WindowSetup setup;
  CountingSources* sources = nullptr;
  CountingServer* server = nullptr;
  std::unique_ptr<WindowFrontEnd> front_end;
  HWND main = nullptr;
  HWND status = nullptr;
  HWND log = nullptr;
};

TEST_F(WinMainWindow, OpensCentredAtItsSizeWithTheVersionCaptionTheGridsAndTheirColumns) {
  Start("SrcMode=1\r\nDstMode=2\r\nSrcIP=127.0.0.1:5001\r\nServerPort=2000\r\n");
  ASSERT_EQ(main, front_end->Window().Handle()) << "found by its class, as a studio finds it";
  EXPECT_EQ(TextOf(main).rfind(L"Veltora Trivane (ver.", 0), 0u) << TextOf(main);
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, 671);
  EXPECT_EQ(client.bottom, 451);
  MINMAXINFO limits{};
  SendMessageW(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 400);
  EXPECT_EQ(limits.ptMinTrackSize.y, 200);
  EXPECT_EQ(TextOf(GetDlgItem(main, kSBSettings)), L"Settings");
  EXPECT_EQ(TextOf(GetDlgItem(main, kSettingsGroup)), L"Settings");
  EXPECT_EQ(TextOf(GetDlgItem(main, kLogGroup)), L"Log");
  EXPECT_FALSE(IsWindowVisible(front_end->Window().Tests()->Handle())) << "only with Author";

  EXPECT_EQ(HeaderText(status, 1), L"ZUDovivi->");
  EXPECT_EQ(HeaderText(status, 3), L"Src IP 2");
  EXPECT_EQ(HeaderText(status, 8), L"Out RUZoveve");
  EXPECT_EQ(CellText(status, 0, 0), L"Port/PID");
  EXPECT_EQ(CellText(status, 1, 0), L"Last data");
  EXPECT_EQ(CellText(status, 0, 2), L"127.0.0.1:5001");
  EXPECT_EQ(CellText(status, 0, 7), L"Port 2000");
  // The source and the server share what column 0 leaves; the rest are hidden.
  const int share = (ClientWidth(status) - 66 - 1) / 2;
  EXPECT_EQ(ColumnWidth(status, 0), 66);
  EXPECT_EQ(ColumnWidth(status, 2), share);
  EXPECT_EQ(ColumnWidth(status, 7), share);
  for (const int hidden : {1, 3, 4, 5, 6, 8}) EXPECT_EQ(ColumnWidth(status, hidden), 0) << hidden;

  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(HeaderText(log, c), WideFromUtf8(std::string(EventLog::kHeaders[c])));
  }
  EXPECT_EQ(CellText(log, 0, 2), L"Program started");

  // A wider window: the link columns and "Events" take the width, the rest keep theirs.
  const int events = ColumnWidth(log, 2);
  RECT frame{};
  GetWindowRect(main, &frame);
  SetWindowPos(main, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(ColumnWidth(status, 2), (ClientWidth(status) - 66 - 1) / 2);
  EXPECT_GT(ColumnWidth(status, 2), share);
  EXPECT_EQ(ColumnWidth(log, 2), events + 200);
  EXPECT_EQ(ColumnWidth(log, 0), 91);
  EXPECT_EQ(ColumnWidth(log, 3), 97);
}

TEST_F(WinMainWindow, EachStatusShowsItsWordAndColourInRowTwoAndDataClearsTheColour) {
  Start("SrcMode=1\r\nDstMode=2\r\n");
  StatusGrid& grid = Controller().Status();
  const COLORREF background = GetSysColor(COLOR_WINDOW);
  struct Case {
    LineStatus status;
    const wchar_t* word;
    COLORREF colour;
  };
  for (const Case& c : {Case{LineStatus::Connected, L"Connected", RGB(0, 128, 0)},
                        Case{LineStatus::Wait, L"Wait", RGB(128, 128, 0)},
                        Case{LineStatus::Error, L"Error", RGB(255, 0, 0)}}) {
    grid.SetLineStatus(7, c.status);
    ServeFor(50ms);
    EXPECT_EQ(CellText(status, 1, 7), c.word);
    EXPECT_EQ(PaintedColour(status, 1, 7), c.colour) << CellText(status, 1, 7);
    EXPECT_EQ(PaintedColour(status, 0, 7), background) << "row 1 keeps the background";
  }
  grid.SetLineStatus(7, LineStatus::None);
  ServeFor(50ms);
  EXPECT_EQ(CellText(status, 1, 7), L"Error") << "no colour, the word stays";
  EXPECT_EQ(PaintedColour(status, 1, 7), background);
}

// What the tooltip of the status grid says, asked as another program would.
std::wstring TooltipText(HWND tooltip, HWND owner, HWND tool) {
  wchar_t text[256] = {};
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text;
  SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info));
  return text;
}

void MouseOverCell(HWND list, int item, int column) {
  RECT cell{};
  cell.top = column;
  cell.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
  // Near the left edge: for column 0 the rectangle is the whole row.
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + 3, (cell.top + cell.bottom) / 2));
}

TEST_F(WinMainWindow, TheStatusHintIsTheColumnsLastErrorAndStaysOverColumnsWithoutOne) {
  Start("SrcMode=1\r\nDstMode=2\r\nSrcIP=127.0.0.1:5001\r\nSrcIP1=127.0.0.1:5002\r\n");
  sources->errors[1] = "Connection refused. (127.0.0.1:5002)";
  HWND tooltip = front_end->Window().StatusView()->Tooltip();
  MouseOverCell(status, 1, 3);
  EXPECT_EQ(TooltipText(tooltip, main, status), L"Connection refused. (127.0.0.1:5002)");
  MouseOverCell(status, 0, 0);  // no hint of its own: the last one stays
  EXPECT_EQ(TooltipText(tooltip, main, status), L"Connection refused. (127.0.0.1:5002)");
  MouseOverCell(status, 1, 2);  // the first source has no error: no hint shows
  EXPECT_EQ(TooltipText(tooltip, main, status), L"");
  MouseOverCell(status, 0, 7);
  EXPECT_EQ(TooltipText(tooltip, main, status), L"");
}

TEST_F(WinMainWindow, TheLogDrawsErrorEntriesAloneInTheErrorColour) {
  Start("SrcMode=1\r\nDstMode=2\r\n");
  Controller().OutError(0, "Connection refused", ">> ERROR <<");
  Controller().OutLog(0, "Connected", "");
  ServeFor(50ms);
  const COLORREF error = RGB(0xB0, 0x00, 0x00);
  EXPECT_TRUE(PaintsColour(log, 1, 2, error));
  EXPECT_FALSE(PaintsColour(log, 0, 2, error));
}

TEST_F(WinMainWindow, TheLogKeepsTheNewestOnTopUpToItsCapAndCtrlCCopiesTheSelectedRows) {
  Start("SrcMode=1\r\nDstMode=2\r\n");
  for (int i = 0; i < 300; ++i) Controller().OutLog(i % 4 - 1, "entry " + std::to_string(i), "T");
  ServeFor(50ms);
  EXPECT_EQ(SendMessageW(log, LVM_GETITEMCOUNT, 0, 0), EventLog::kMaxEntries);
  EXPECT_EQ(CellText(log, 0, 2), L"entry 299");
  EXPECT_EQ(CellText(log, EventLog::kMaxEntries - 1, 2), L"entry 46");

  // Rows 2 to 4 selected; Ctrl held as the thread's keyboard sees it.
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED;
  select.state = LVIS_SELECTED;
  for (int item = 1; item <= 3; ++item) {
    SendMessageW(log, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&select));
  }
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(log, WM_KEYDOWN, 'C', 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);

  ASSERT_TRUE(OpenClipboard(main));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  const std::wstring copied(static_cast<const wchar_t*>(GlobalLock(data)));
  GlobalUnlock(data);
  CloseClipboard();
  const auto row = [&](int item) {
    return CellText(log, item, 0) + L"\t" + CellText(log, item, 1) + L"\t" +
           CellText(log, item, 2) + L"\t" + CellText(log, item, 3);
  };
  EXPECT_EQ(copied, row(1) + L"\r" + row(2) + L"\r" + row(3));
  EXPECT_NE(copied.find(L"entry 298\tT"), std::wstring::npos) << copied;

  // A new entry on top moves the selection down with its rows.
  Controller().OutLog(-1, "newest", "");
  ServeFor(20ms);
  EXPECT_EQ(SendMessageW(log, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 2);
}

// The log as an operator drives it: rows picked as a click and a shift-click
// leave them (the focus on the last), the scroll bar's arrows moving the view,
// and bursts of entries arriving meanwhile.
class WinEventLogInSight : public WinMainWindow {
 protected:
  void SetUp() override {
    Start("SrcMode=1\r\nDstMode=2\r\n");
    Add(20);
  }
  void Add(int count) {
    for (int i = 0; i < count; ++i)
      Controller().OutLog(-1, "entry " + std::to_string(added_++), "");
    ServeFor(20ms);
  }
  int Next(int after, UINT which) const {
    return static_cast<int>(SendMessageW(log, LVM_GETNEXTITEM, static_cast<WPARAM>(after), which));
  }
  void Pick(int item, UINT state) const {
    LVITEMW change{};
    change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    change.state = state;
    SendMessageW(log, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change));
  }
  int Mark() const { return static_cast<int>(SendMessageW(log, LVM_GETSELECTIONMARK, 0, 0)); }
  int Top() const { return static_cast<int>(SendMessageW(log, LVM_GETTOPINDEX, 0, 0)); }
  std::wstring TopEntry() const { return CellText(log, Top(), 2); }
  std::vector<std::wstring> Selected() const {
    std::vector<std::wstring> texts;
    for (int item = Next(-1, LVNI_SELECTED); item >= 0; item = Next(item, LVNI_SELECTED)) {
      texts.push_back(CellText(log, item, 2));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  void ScrollLines(int lines) const {
    for (int i = 0; i < lines; ++i) SendMessageW(log, WM_VSCROLL, SB_LINEDOWN, 0);
  }

 private:
  int added_ = 0;
};

TEST_F(WinEventLogInSight, WithRowsSelectedABurstKeepsTheNewestOnTopAndTheSelectionOnItsEntries) {
  ASSERT_EQ(CellText(log, 0, 2), L"entry 19");
  Pick(2, LVIS_SELECTED);  // entries 17 to 15
  Pick(3, LVIS_SELECTED);
  Pick(4, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(log, LVM_SETSELECTIONMARK, 0, 2);  // where the range began
  ASSERT_EQ(Top(), 0);

  Add(100);
  EXPECT_EQ(Top(), 0);
  EXPECT_EQ(TopEntry(), L"entry 119");
  EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"entry 15", L"entry 16", L"entry 17"}));
  EXPECT_EQ(CellText(log, Next(-1, LVNI_FOCUSED), 2), L"entry 15");
  EXPECT_EQ(CellText(log, Mark(), 2), L"entry 17");

  // Past the cap the selected entries fall off the end, the focus with them.
  Add(300);
  EXPECT_EQ(SendMessageW(log, LVM_GETITEMCOUNT, 0, 0), EventLog::kMaxEntries);
  EXPECT_EQ(Top(), 0);
  EXPECT_EQ(TopEntry(), L"entry 419");
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(Next(-1, LVNI_FOCUSED), -1) << CellText(log, Next(-1, LVNI_FOCUSED), 2);
  EXPECT_EQ(Mark(), -1) << CellText(log, Mark(), 2);
}

TEST_F(WinEventLogInSight, ScrolledAwayFromTheTopTheRowsInSightStayWhileNewOnesArriveAbove) {
  Add(80);  // entries 0 to 99
  ScrollLines(30);
  ASSERT_EQ(Top(), 30);
  const std::wstring top = TopEntry();

  Add(50);
  EXPECT_EQ(Top(), 80);
  EXPECT_EQ(TopEntry(), top);

  // The rows looked at fall off the end: the view keeps to the oldest entries
  // still held rather than going back to the top.
  Add(300);
  const int per_page = static_cast<int>(SendMessageW(log, LVM_GETCOUNTPERPAGE, 0, 0));
  EXPECT_EQ(Top(), EventLog::kMaxEntries - per_page);
  EXPECT_EQ(CellText(log, EventLog::kMaxEntries - 1, 2), L"entry 196");

  // Back at the top, the newest is in sight again and stays there.
  for (int page = 0; page < 20 && Top() > 0; ++page) SendMessageW(log, WM_VSCROLL, SB_PAGEUP, 0);
  ASSERT_EQ(Top(), 0);
  Add(5);
  EXPECT_EQ(Top(), 0);
  EXPECT_EQ(TopEntry(), L"entry 454");
}

TEST_F(WinMainWindow, TheTestPanelShowsItsFieldsAndSendsItsBlock) {
  Start("Author=1\r\nSrcMode=1\r\nDstMode=2\r\n");
  HWND panel = front_end->Window().Tests()->Handle();
  ASSERT_TRUE(IsWindowVisible(panel));
  RECT rect{};
  GetWindowRect(panel, &rect);
  EXPECT_EQ(rect.bottom - rect.top, 40);
  EXPECT_EQ(TextOf(GetDlgItem(panel, kSBAuthor)), L"Отправить");
  HWND block = GetDlgItem(panel, kEAdvBlock);
  EXPECT_EQ(TextOf(block), L"60.000");
  EXPECT_EQ(TextOf(GetDlgItem(panel, kEOver)), L"120.000");
  EXPECT_EQ(TextOf(GetDlgItem(panel, kEExtra)), L"0.000");
  // The arrows step by one; typing beyond the limit is read as the limit.
  NMUPDOWN step{};
  step.hdr.hwndFrom = GetDlgItem(panel, kEExtra + 50);
  step.hdr.idFrom = kEExtra + 50;
  step.hdr.code = UDN_DELTAPOS;
  step.iDelta = 1;
  SendMessageW(panel, WM_NOTIFY, step.hdr.idFrom, reinterpret_cast<LPARAM>(&step));
  EXPECT_EQ(TextOf(GetDlgItem(panel, kEExtra)), L"1.000");
  SetWindowTextW(block, L"1000");
  EXPECT_EQ(front_end->Window().Tests()->Value(kEAdvBlock), 900);
  SetWindowTextW(block, L"30,5");
  EXPECT_EQ(front_end->Window().Tests()->Value(kEAdvBlock), 30.5);

  SendMessageW(GetDlgItem(panel, kSBAuthor), BM_CLICK, 0, 0);
  // A region block and its notice, for the chain server, though the source is TCP.
  EXPECT_EQ(server->queue.size(), 2u);
}

// The settings dialog, opened by the Settings button, as another program
// would drive it: from a thread of its own, once it shows.
class DialogDriver {
 public:
  DialogDriver(HWND owner, std::function<void(HWND dialog)> act)
      : thread_([this, owner, act = std::move(act)] {
          HWND dialog = nullptr;
          for (int i = 0; i < 500 && dialog == nullptr; ++i) {
            Sleep(10);
            dialog = OwnTopLevelWindow(L"#32770", L"Settings");
            if (dialog != nullptr && GetWindow(dialog, GW_OWNER) != owner) dialog = nullptr;
          }
          found = dialog != nullptr;
          if (found) act(dialog);
          done = true;
        }) {}
  ~DialogDriver() { thread_.join(); }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  std::atomic<bool> found{false};
  std::atomic<bool> done{false};

 private:
  std::thread thread_;
};

void Press(HWND dialog, int button) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, button), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &ignored);
}

TEST_F(WinMainWindow, SaveInTheDialogWritesTheFileAndAppliesAgainWhileTicksGoOnMeanwhile) {
  Start("SrcMode=1\r\nDstMode=2\r\nServerPort=2000\r\n");
  const int inits_before = server->inits;
  const int reads_before = sources->reads;
  DialogDriver driver(main, [this](HWND dialog) {
    // The dialog stays open a while, and data for the relay comes meanwhile
    // (a wake-up from this thread, as a connect thread's).
    for (int i = 0; i < 20; ++i) {
      Controller().WakeDriver();
      Sleep(15);
    }
    const wchar_t port[] = L"2100";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, IDC_ESERVERPORT), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(port), SMTO_NORMAL, 5000, &ignored);
    Press(dialog, IDC_SBSAVE);
  });
  PostMessageW(GetDlgItem(main, kSBSettings), BM_CLICK, 0, 0);
  ASSERT_TRUE(ServeUntil([&] { return driver.done.load(); }, 10s));
  ServeFor(50ms);
  ASSERT_TRUE(driver.found);
  EXPECT_GT(sources->reads - reads_before, 15) << "the ticks stopped while the dialog was open";
  SettingsState saved;
  Load_Settings(dir / "trivane.ini", saved);
  EXPECT_EQ(saved.settings.ServerPort, 2100);
  EXPECT_EQ(server->inits, inits_before + 1);
  EXPECT_EQ(CellText(status, 0, 7), L"Port 2100");
}

TEST_F(WinMainWindow, CancelInTheDialogAppliesNothing) {
  Start("SrcMode=1\r\nDstMode=2\r\nServerPort=2000\r\n");
  const std::string file_before = testing::ReadFileBytes(dir / "trivane.ini");
  const int inits_before = server->inits;
  DialogDriver driver(main, [](HWND dialog) { Press(dialog, IDC_SBCANCEL); });
  PostMessageW(GetDlgItem(main, kSBSettings), BM_CLICK, 0, 0);
  ASSERT_TRUE(ServeUntil([&] { return driver.done.load(); }, 10s));
  ServeFor(50ms);
  ASSERT_TRUE(driver.found);
  EXPECT_EQ(server->inits, inits_before);
  EXPECT_EQ(testing::ReadFileBytes(dir / "trivane.ini"), file_before);
}

TEST_F(WinMainWindow, TheCloseWindowStaysUpUntilTheRunningConnectAttemptEnds) {
  Start("SrcMode=1\r\nDstMode=2\r\n");
  sources->attempts_done = false;
  PostMessageW(main, WM_CLOSE, 0, 0);
  ServeFor(200ms);
  HWND dialog = front_end->Window().CloseDialog()->Handle();
  ASSERT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(TextOf(dialog), L"Close");
  EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU, 0) << "no close button";
  EXPECT_NE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  HWND label = FindWindowExW(dialog, nullptr, WC_STATICW, nullptr);
  EXPECT_EQ(TextOf(label), L"Close connections");
  EXPECT_EQ(FindWindowExW(dialog, nullptr, WC_BUTTONW, nullptr), nullptr) << "no cancel";
  HWND bar = FindWindowExW(dialog, nullptr, PROGRESS_CLASSW, nullptr);
  EXPECT_NE(GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE, 0) << "no percentage";
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the operator cannot take it away";
  EXPECT_TRUE(IsWindow(main));
  EXPECT_TRUE(front_end->Open());

  sources->attempts_done = true;
  ASSERT_TRUE(ServeUntil([this] { return !front_end->Open(); }));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindowVisible(dialog));
}

TEST_F(WinMainWindow, WithTrayTheWindowStartsMinimisedAndTheIconBringsItBack) {
  Start("SrcMode=1\r\nDstMode=2\r\nTray=1\r\n");
  ASSERT_TRUE(ServeUntil([this] { return IsIconic(main) != FALSE; }));
  TrayIcon& tray = *front_end->Window().Tray();
  ASSERT_TRUE(tray.Shown());
  EXPECT_FALSE(IsWindowVisible(main)) << "in the tray, off the task bar";
  // The operator clicks the icon.
  PostMessageW(main, MainWindow::kTrayMessage, 1, NIN_SELECT);
  ASSERT_TRUE(ServeUntil([this] { return IsIconic(main) == FALSE; }));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(tray.Shown()) << "restoring takes the icon away";
}

}  // namespace
}  // namespace trivane
