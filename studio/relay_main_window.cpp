#include "studio/relay_main_window.h"

namespace trivane {

RelayMainWindow::RelayMainWindow(Desktop& desktop)
    : desktop_(desktop), handle_(desktop.CreateTopLevelWindow(kClassName, *this)) {}

RelayMainWindow::RelayMainWindow(Desktop& desktop, WindowHandle adopted)
    : desktop_(desktop), handle_(adopted), owned_(false) {}

RelayMainWindow::~RelayMainWindow() {
  if (owned_ && handle_ != 0) desktop_.DestroyTopLevelWindow(handle_);
}

std::int32_t RelayMainWindow::OnMessage(std::uint32_t message, std::uint32_t wparam,
                                        std::uint32_t lparam) {
  if (message != TWinMSG::WM_PEER_CMD || link_ == nullptr) return 0;
  return link_->ReceiveCMD(message, wparam, lparam);
}

std::int32_t RelayMainWindow::OnCopyData(std::uint32_t wparam, std::uint32_t dw_data,
                                         ByteView data) {
  if (link_ != nullptr) link_->WMCOPYDATA(wparam, dw_data, data);
  return 0;
}

}  // namespace trivane
