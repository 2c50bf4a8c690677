/* Console probe of the Windows Installer state of one product, for tests.
 *
 *   msiprobe state <code>                  MsiQueryProductStateW
 *   msiprobe info <code> <attribute>       MsiGetProductInfoW
 *   msiprobe patches <code>                MsiEnumPatchesW, one patch code a line
 *   msiprobe configure <code> <cmdline>    MsiConfigureProductExW(code, 0, 5, cmdline)
 *   msiprobe fileversion <path>            file and product version of a PE file,
 *                                          read the way the launcher reads it
 *   msiprobe export <database> <folder> [<transform>]
 *                                          every table of a database as <table>.idt,
 *                                          after MsiDatabaseApplyTransformW when given
 *   msiprobe substorage <file> <name> <out>
 *                                          one substorage of a compound file copied to a
 *                                          file of its own, class id included
 *
 * Output is plain "key=value" lines so a script can parse them; a failing
 * call is reported as a line too ("result=<code>") and the exit code stays 0,
 * because a Unix shell keeps only the low 8 bits of an exit code. Only a
 * wrong command line exits non-zero. */
#define COBJMACROS
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static void print_line(const wchar_t *key, const wchar_t *value)
{
    /* Printed as UTF-8 so product names survive the trip to the caller. */
    char buffer[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, value, -1, buffer, sizeof buffer, NULL, NULL);
    if (length <= 0)
        buffer[0] = '\0';
    printf("%ls=%s\n", key, buffer);
}

static int probe_state(const wchar_t *code)
{
    printf("state=%d\n", (int)MsiQueryProductStateW(code));
    return 0;
}

static int probe_info(const wchar_t *code, const wchar_t *attribute)
{
    wchar_t value[1024];
    DWORD size = ARRAYSIZE(value);
    UINT result = MsiGetProductInfoW(code, attribute, value, &size);
    printf("result=%u\n", result);
    if (result == ERROR_SUCCESS)
        print_line(L"value", value);
    return 0;
}

static int probe_patches(const wchar_t *code)
{
    /* A patch lists all of its transforms, a pair per target and base version: the list
       is as long as the patch makes it. */
    DWORD index = 0, capacity = 1024;
    wchar_t *transforms = malloc(capacity * sizeof *transforms);
    UINT result = transforms ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    while (result == ERROR_SUCCESS) {
        wchar_t patch[39];
        DWORD size = capacity;
        result = MsiEnumPatchesW(code, index, patch, transforms, &size);
        if (result == ERROR_MORE_DATA) {
            capacity = size + 1;
            free(transforms);
            transforms = malloc(capacity * sizeof *transforms);
            result = transforms ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
        } else if (result == ERROR_SUCCESS) {
            print_line(L"patch", patch);
            ++index;
        }
    }
    free(transforms);
    /* ERROR_NO_MORE_ITEMS is the normal end of the list. */
    printf("result=%u\n", result == ERROR_NO_MORE_ITEMS ? 0u : result);
    printf("count=%lu\n", (unsigned long)index);
    return 0;
}

static int probe_configure(const wchar_t *code, const wchar_t *command_line)
{
    /* No UI: otherwise a failure would pop up the installer's own error box. */
    MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
    printf("result=%u\n",
           MsiConfigureProductExW(code, INSTALLLEVEL_DEFAULT, INSTALLSTATE_DEFAULT, command_line));
    return 0;
}

static int probe_file_version(const wchar_t *path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    void *data;
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT fixed_size = 0;

    if (size == 0) {
        printf("result=%lu\n", (unsigned long)GetLastError());
        return 0;
    }
    data = HeapAlloc(GetProcessHeap(), 0, size);
    if (data == NULL || !GetFileVersionInfoW(path, 0, size, data)
        || !VerQueryValueW(data, L"\\", (void **)&fixed, &fixed_size) || fixed == NULL) {
        printf("result=%lu\n", (unsigned long)GetLastError());
    } else {
        printf("result=0\n");
        printf("file=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
               HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        printf("product=%u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS),
               LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
               LOWORD(fixed->dwProductVersionLS));
    }
    if (data != NULL)
        HeapFree(GetProcessHeap(), 0, data);
    return 0;
}

static int probe_export(const wchar_t *database, const wchar_t *folder, const wchar_t *transform)
{
    MSIHANDLE db = 0, view = 0, record = 0;
    UINT result = MsiOpenDatabaseW(database, MSIDBOPEN_READONLY, &db);

    if (result == ERROR_SUCCESS && transform != NULL) {
        result = MsiDatabaseApplyTransformW(db, transform, 0);
        printf("transform=%u\n", result);
    }
    if (result == ERROR_SUCCESS)
        result = MsiDatabaseOpenViewW(db, L"SELECT `Name` FROM `_Tables`", &view);
    if (result == ERROR_SUCCESS)
        result = MsiViewExecute(view, 0);
    while (result == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        wchar_t table[256], file[300];
        DWORD size = ARRAYSIZE(table);
        result = MsiRecordGetStringW(record, 1, table, &size);
        if (result == ERROR_SUCCESS) {
            swprintf(file, ARRAYSIZE(file), L"%ls.idt", table);
            result = MsiDatabaseExportW(db, table, folder, file);
        }
        if (result == ERROR_SUCCESS)
            print_line(L"table", table);
        MsiCloseHandle(record);
    }
    printf("result=%u\n", result);
    if (view != 0)
        MsiCloseHandle(view);
    if (db != 0)
        MsiCloseHandle(db);
    return 0;
}

static int probe_substorage(const wchar_t *file, const wchar_t *name, const wchar_t *out)
{
    IStorage *outer = NULL, *inner = NULL, *copy = NULL;
    STATSTG stat;
    wchar_t clsid[39] = L"";
    HRESULT hr = StgOpenStorage(file, NULL, STGM_READ | STGM_SHARE_DENY_WRITE, NULL, 0, &outer);

    if (SUCCEEDED(hr))
        hr = IStorage_OpenStorage(outer, name, NULL, STGM_READ | STGM_SHARE_EXCLUSIVE, NULL, 0, &inner);
    if (SUCCEEDED(hr))
        hr = IStorage_Stat(inner, &stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr))
        hr = StgCreateDocfile(out, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &copy);
    if (SUCCEEDED(hr))
        hr = IStorage_CopyTo(inner, 0, NULL, NULL, copy);
    /* A transform file is told apart by its class, which the copy must keep. */
    if (SUCCEEDED(hr))
        hr = IStorage_SetClass(copy, &stat.clsid);
    if (SUCCEEDED(hr))
        hr = IStorage_Commit(copy, STGC_DEFAULT);
    if (SUCCEEDED(hr)) {
        StringFromGUID2(&stat.clsid, clsid, ARRAYSIZE(clsid));
        print_line(L"class", clsid);
    }
    printf("result=0x%08lx\n", (unsigned long)hr);
    if (copy != NULL)
        IStorage_Release(copy);
    if (inner != NULL)
        IStorage_Release(inner);
    if (outer != NULL)
        IStorage_Release(outer);
    return 0;
}

static int usage(void)
{
    fprintf(stderr,
            "usage: msiprobe state <code>\n"
            "       msiprobe info <code> <attribute>\n"
            "       msiprobe patches <code>\n"
            "       msiprobe configure <code> <command line>\n"
            "       msiprobe fileversion <path>\n"
            "       msiprobe export <database> <folder> [<transform>]\n"
            "       msiprobe substorage <file> <name> <out>\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && wcscmp(argv[1], L"state") == 0)
        return probe_state(argv[2]);
    if (argc == 4 && wcscmp(argv[1], L"info") == 0)
        return probe_info(argv[2], argv[3]);
    if (argc == 3 && wcscmp(argv[1], L"patches") == 0)
        return probe_patches(argv[2]);
    if (argc == 4 && wcscmp(argv[1], L"configure") == 0)
        return probe_configure(argv[2], argv[3]);
    if (argc == 3 && wcscmp(argv[1], L"fileversion") == 0)
        return probe_file_version(argv[2]);
    if ((argc == 4 || argc == 5) && wcscmp(argv[1], L"export") == 0)
        return probe_export(argv[2], argv[3], argc == 5 ? argv[4] : NULL);
    if (argc == 5 && wcscmp(argv[1], L"substorage") == 0)
        return probe_substorage(argv[2], argv[3], argv[4]);
    return usage();
}
