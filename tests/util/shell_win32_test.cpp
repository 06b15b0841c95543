// The shell services on real windows and dialogs (run under Wine).

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <thread>

#include "util/folders.h"
#include "util/shell.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

class TestWindow {
 public:
  TestWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillhavenShellTest";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(wc.lpszClassName, L"shell test", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, nullptr, nullptr,
                          wc.hInstance, nullptr);
    if (hwnd_) ShowWindow(hwnd_, SW_SHOWNORMAL);
  }
  ~TestWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

TEST(ShellWindows, CaptionCommandsMaximizeRestoreMinimizeAndClose) {
  TestWindow window;
  ASSERT_NE(window.get(), nullptr);
  EXPECT_FALSE(isWindowMaximized(window.get()));
  runCaptionCommand(window.get(), CaptionMaximizeOrRestore);
  EXPECT_TRUE(isWindowMaximized(window.get()));
  runCaptionCommand(window.get(), CaptionMaximizeOrRestore);
  EXPECT_FALSE(isWindowMaximized(window.get()));
  runCaptionCommand(window.get(), 7);
  EXPECT_FALSE(isWindowMaximized(window.get()));
  EXPECT_FALSE(IsIconic(window.get()));
  runCaptionCommand(window.get(), CaptionMinimize);
  EXPECT_TRUE(IsIconic(window.get()));

  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, window.get(), WM_CLOSE, WM_CLOSE, PM_REMOVE));
  runCaptionCommand(window.get(), CaptionClose);
  EXPECT_TRUE(PeekMessageW(&msg, window.get(), WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_TRUE(IsWindow(window.get()));  // closing is left to the window's own handler
}

// Works a dialog of this process from another thread, as a user would: waits
// for it to appear, then optionally types a file name, then presses a button,
// and presses again if the dialog is still there a while later (a slow start
// may swallow the first press). Stops when the dialog call has returned.
class DialogDriver {
 public:
  DialogDriver(std::wstring fileName, int button) : fileName_(std::move(fileName)), button_(button) {
    thread_ = std::thread([this] { run(); });
  }
  ~DialogDriver() {
    done_ = true;
    thread_.join();
  }
  bool found() const { return found_; }

 private:
  static HWND findDialog() {
    const DWORD pid = GetCurrentProcessId();
    HWND dialog = nullptr;
    while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(dialog, &owner);
      if (owner == pid && IsWindowVisible(dialog)) return dialog;
    }
    return nullptr;
  }

  void run() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    auto lastPress = std::chrono::steady_clock::time_point{};
    while (!done_ && std::chrono::steady_clock::now() < deadline) {
      Sleep(50);
      const HWND dialog = findDialog();
      if (!dialog || std::chrono::steady_clock::now() - lastPress < std::chrono::seconds(2)) continue;
      found_ = true;
      if (!fileName_.empty()) {
        // The file-name box of the open dialog (an edit, or the edit inside a combo box).
        HWND edit = GetDlgItem(dialog, 0x480);
        if (!edit) edit = GetDlgItem(dialog, 0x47C);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileName_.c_str()));
      }
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
      lastPress = std::chrono::steady_clock::now();
    }
  }

  std::wstring fileName_;
  int button_;
  std::atomic<bool> found_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Opens a picker on a fresh window and cancels it as a user would.
void expectCancelGivesEmpty(const std::function<std::string(WindowHandle)>& pick) {
  TestWindow window;
  std::string picked = "not called";
  {
    DialogDriver driver(L"", IDCANCEL);
    picked = pick(window.get());
    EXPECT_TRUE(driver.found());
  }
  EXPECT_EQ(picked, "");
}

TEST(ShellDialogs, CancelledPickersGiveEmpty) {
  expectCancelGivesEmpty(openImageFileDialog);
  // The studio's main thread is a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  expectCancelGivesEmpty(pickFolder);
  if (SUCCEEDED(com)) CoUninitialize();
}

TEST(ShellDialogs, PickedPathOutsideTheCodePageArrivesAsUtf8) {
  const std::wstring folder = freshTestFolder(L"picker \u00E9\u4E2D");
  const std::wstring file = joinPath(folder, L"p\u00EFcture \U0001F600.png");
  std::ofstream(toFsPath(file)) << "x";
  TestWindow window;
  std::string picked;
  {
    DialogDriver driver(file, IDOK);
    picked = pickOpenFile(window.get(), imageFileFilters());
    EXPECT_TRUE(driver.found());
  }
  EXPECT_EQ(utf8ToWide(picked), file);
  EXPECT_EQ(picked, wideToUtf8(file));
}

}  // namespace
