#pragma once

#include <windows.h>

#include <array>
#include <functional>

namespace trivane {

// PanAuthor's controls, by the number GetDlgItem finds them by in the panel.
enum TestPanelControl : int {
  kEAdvBlock = 1101,
  kEOver,
  kEExtra,
  kSBAuthor,
};

// PanAuthor: three times in seconds with three decimals (0 to 900, a step
// of 1 on the arrows), each with its label and hint, and "Отправить", which
// hands the three to `send`.
class TestPanel {
 public:
  static constexpr int kHeight = 40;
  static constexpr double kMax = 900;

  TestPanel(HWND parent, std::function<void(double block, double over, double extra)> send);
  ~TestPanel();
  TestPanel(const TestPanel&) = delete;
  TestPanel& operator=(const TestPanel&) = delete;

  HWND Handle() const { return panel_; }
  void Place(int x, int y, int width);
  // What a field holds, as read for sending: its number, within the limits.
  double Value(int control) const;

 private:
  struct Field {
    int id;
    const wchar_t* label;
    const wchar_t* hint;
    double start;
  };
  static constexpr std::array<Field, 3> kFields = {{
      {kEAdvBlock, L"Тело блока", L"Size of block", 60},
      {kEOver, L"Over", L"Over time", 120},
      {kEExtra, L"Extra", L"Extra time", 0},
  }};

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Step(int control, int delta);
  void SetValue(int control, double value);

  std::function<void(double, double, double)> send_;
  HWND panel_ = nullptr;
  HWND tooltip_ = nullptr;
};

}  // namespace trivane
