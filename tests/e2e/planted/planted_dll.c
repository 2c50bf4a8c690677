/* A stand-in for a DLL planted beside a downloaded program: when any process loads it, it
   leaves a marker file next to itself. It exports the names programs import from msi.dll
   and version.dll, so that a program importing them really loads it. */
#include <windows.h>

static void LeaveMarker(HINSTANCE self) {
  wchar_t path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  while (length > 0 && path[length - 1] != L'\\') --length;
  lstrcpyW(path + length, L"planted-loaded");
  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
  return TRUE;
}

UINT WINAPI MsiCloseHandle(DWORD handle) { (void)handle; return 0; }
DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
  (void)path;
  (void)handle;
  return 0;
}
