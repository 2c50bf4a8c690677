/* Runs a command in a window station of its own, which no one sees (no WSF_VISIBLE), as a
 * service or a deployment agent's SYSTEM process would, and exits with its exit code:
 *
 *   hiddenstation <program> [arguments...]
 *
 * Prints "flags=<UOI_FLAGS of the new station>"; exits 255 when it cannot start the program. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int wmain(int argc, wchar_t **argv)
{
    HWINSTA station;
    HWINSTA own = GetProcessWindowStation();
    HDESK desktop;
    USEROBJECTFLAGS flags = {0};
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process;
    wchar_t line[32768] = L"";
    wchar_t where[] = L"LauncherHidden\\Default";
    DWORD code = 255;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: hiddenstation <program> [arguments...]\n");
        return 2;
    }
    for (i = 1; i < argc; ++i) {
        wcscat(line, L"\"");
        wcscat(line, argv[i]);
        wcscat(line, i + 1 < argc ? L"\" " : L"\"");
    }
    station = CreateWindowStationW(L"LauncherHidden", 0, WINSTA_ALL_ACCESS, NULL);
    if (station == NULL || !SetProcessWindowStation(station)) {
        printf("error=%lu\n", GetLastError());
        return 255;
    }
    desktop = CreateDesktopW(L"Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, NULL);
    printf("flags=%lu\n", flags.dwFlags);
    SetProcessWindowStation(own);
    startup.lpDesktop = where;
    if (desktop == NULL ||
        !CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        printf("error=%lu\n", GetLastError());
        return 255;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
