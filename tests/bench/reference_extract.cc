// The least any extractor of the embedded package can do, to measure launcher.exe /e
// against: "reference_extract.exe /e <path>" finds the same resource, writes it with one
// WriteFile, flushes it to the disk (as a file that is to replace another must be before
// it does) and exits 0 when every byte was written.

#include <windows.h>

#include <stdlib.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The C runtime's own split of the command line: nothing more is loaded for it.
  if (__argc < 3) return ERROR_BAD_ARGUMENTS;
  HRSRC found = FindResourceW(instance, L"IDR_MSP", L"MSP");
  if (found == nullptr) return static_cast<int>(GetLastError());
  const DWORD size = SizeofResource(instance, found);
  const void* bytes = LockResource(LoadResource(instance, found));
  if (bytes == nullptr) return static_cast<int>(GetLastError());
  HANDLE file = CreateFileW(__wargv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr) && FlushFileBuffers(file);
  CloseHandle(file);
  return ok && written == size ? 0 : ERROR_WRITE_FAULT;
}
