// simhost_foreground.exe: another process's window in the foreground, for games whose own
// window must not be active. Shows a small window, takes the foreground and keeps pumping until
// the process whose id is on the command line exits.
#include <windows.h>

#include <cwchar>

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  const DWORD parentId = static_cast<DWORD>(wcstoul(commandLine, nullptr, 10));
  const HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
  if (parent == nullptr) return 1;  // nobody to wait for

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"SimhostForeground";
  RegisterClassExW(&windowClass);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Another program", WS_OVERLAPPEDWINDOW,
                                      0, 0, 240, 160, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);

  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &parent, FALSE, INFINITE, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;  // the parent exited (or the wait failed)
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return 0;
}
