/* Opens every new file whose name begins with MSP in the folders given, as an anti-virus
 * scanner or an indexer does the moment a file is written, holds it for a while, and lets
 * it go:
 *
 *   scanner <sharing> <milliseconds> <stop file> <folder> [<folder>...]
 *
 * <sharing> is what the scanner lets others do meanwhile: "rw" read and write, "rd" read
 * and delete, "none" nothing. A file still being written (shared with nobody) is tried
 * again until it can be opened or is gone. Prints "ready" once it watches, "held <name>"
 * for each file it held, and ends when the stop file exists. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#define MAX_FILES 256

static wchar_t seen[MAX_FILES][MAX_PATH];
static int done[MAX_FILES];
static int count;

/* Adds the MSP files in `folder` not seen before; with `old`, as done already. */
static void look(const wchar_t *folder, int old)
{
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    HANDLE search;
    int i;
    _snwprintf(pattern, MAX_PATH, L"%ls\\MSP*", folder);
    search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        wchar_t path[MAX_PATH];
        _snwprintf(path, MAX_PATH, L"%ls\\%ls", folder, found.cFileName);
        for (i = 0; i < count && _wcsicmp(seen[i], path) != 0; ++i) {}
        if (i == count && count < MAX_FILES) {
            wcscpy(seen[count], path);
            done[count++] = old;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int wmain(int argc, wchar_t **argv)
{
    DWORD sharing, hold;
    int i, round;
    if (argc < 5) {
        fprintf(stderr, "usage: scanner rw|rd|none <milliseconds> <stop file> <folder>...\n");
        return 2;
    }
    sharing = wcscmp(argv[1], L"rw") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE
            : wcscmp(argv[1], L"rd") == 0 ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0;
    hold = (DWORD)_wtoi(argv[2]);
    for (i = 4; i < argc; ++i) look(argv[i], 1);
    printf("ready\n");
    fflush(stdout);
    for (round = 0; GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++round) {
        int waiting = 0;
        /* Between two looks at the folders the files seen are tried many times: the moment
         * between the writer's close and the next opener's is short. */
        if (round % 64 == 0)
            for (i = 4; i < argc; ++i) look(argv[i], 0);
        for (i = 0; i < count; ++i) {
            HANDLE file;
            DWORD error;
            if (done[i]) continue;
            file = CreateFileW(seen[i], GENERIC_READ, sharing, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
            if (file != INVALID_HANDLE_VALUE) {
                Sleep(hold);
                CloseHandle(file);
                wprintf(L"held %ls\n", wcsrchr(seen[i], L'\\') + 1);
                fflush(stdout);
                done[i] = 1;
                continue;
            }
            error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                error == ERROR_ACCESS_DENIED)
                done[i] = 1;
            else
                waiting = 1;
        }
        if (!waiting && round % 64 == 63) Sleep(1);
    }
    return 0;
}
