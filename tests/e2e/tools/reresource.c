/* Makes a variant of a Windows program by replacing or removing one resource, the way a
 * resource editor does, so that a test needs no rebuild per variant:
 *
 *   reresource <source.exe> <variant.exe> <type> <name> <language> [<data file>]
 *
 * <type> and <name> are numbers (RT_STRING is 6, a string-table block is its id / 16 + 1)
 * or names ("MSP", "IDR_MSP"). With a data file its bytes become the resource (added when
 * the source has none); without one the resource is removed. The source is left as it is.
 *
 * The variant is written from scratch with every resource of the source but the one named:
 * a resource removed from a file that keeps its other resources comes back under Wine,
 * which reads the file's resources only when the update ends.
 *
 * Prints "result=<Windows error code>" and exits 0 on success, 1 on failure (a Unix shell
 * keeps only the low 8 bits of an exit code, so the code itself goes to the output). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

struct job {
    HMODULE source;
    HANDLE update;
    LPCWSTR type, name;
    WORD language;
    const BYTE *data; /* NULL: remove */
    DWORD size;
    BOOL found, failed;
};

static LPCWSTR resource_id(const wchar_t *text)
{
    const wchar_t *p = text;
    if (*p == L'\0')
        return text;
    while (*p >= L'0' && *p <= L'9')
        ++p;
    return *p == L'\0' ? MAKEINTRESOURCEW(wcstoul(text, NULL, 10)) : text;
}

/* Resource names and types compare without regard to case; numbers by value. */
static BOOL same_id(LPCWSTR a, LPCWSTR b)
{
    if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b))
        return a == b;
    return _wcsicmp(a, b) == 0;
}

static BOOL CALLBACK copy_language(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                   LONG_PTR param)
{
    struct job *job = (struct job *)param;
    HRSRC found;
    HGLOBAL loaded;
    const void *bytes;
    DWORD size;

    if (same_id(type, job->type) && same_id(name, job->name) && language == job->language) {
        job->found = TRUE;
        if (job->data == NULL)
            return TRUE; /* left out */
        bytes = job->data;
        size = job->size;
    } else {
        found = FindResourceExW(module, type, name, language);
        loaded = found ? LoadResource(module, found) : NULL;
        bytes = loaded ? LockResource(loaded) : NULL;
        size = found ? SizeofResource(module, found) : 0;
        if (bytes == NULL) {
            job->failed = TRUE;
            return FALSE;
        }
    }
    if (!UpdateResourceW(job->update, type, name, language, (void *)bytes, size)) {
        job->failed = TRUE;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK copy_name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    EnumResourceLanguagesW(module, type, name, copy_language, param);
    return !((struct job *)param)->failed;
}

static BOOL CALLBACK copy_type(HMODULE module, LPWSTR type, LONG_PTR param)
{
    EnumResourceNamesW(module, type, copy_name, param);
    return !((struct job *)param)->failed;
}

static int fail(const char *step)
{
    DWORD error = GetLastError();
    printf("step=%s\nresult=%lu\n", step, (unsigned long)error);
    return 1;
}

static BYTE *read_all(const wchar_t *path, DWORD *size)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BYTE *data = NULL;
    DWORD done = 0;
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    *size = GetFileSize(file, NULL);
    data = malloc(*size + 1); /* one byte more, so that an empty file still gets a buffer */
    if (data == NULL || !ReadFile(file, data, *size, &done, NULL) || done != *size) {
        free(data);
        data = NULL;
    }
    CloseHandle(file);
    return data;
}

int wmain(int argc, wchar_t **argv)
{
    struct job job = {0};
    BYTE *data = NULL;

    if (argc != 6 && argc != 7) {
        fprintf(stderr, "usage: reresource <source.exe> <variant.exe> <type> <name> <language> "
                        "[<data file>]\n");
        return 2;
    }
    job.type = resource_id(argv[3]);
    job.name = resource_id(argv[4]);
    job.language = (WORD)wcstoul(argv[5], NULL, 10);
    if (argc == 7 && (data = read_all(argv[6], &job.size)) == NULL)
        return fail("read");
    job.data = data;

    if (!CopyFileW(argv[1], argv[2], FALSE))
        return fail("copy");
    job.source = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (job.source == NULL)
        return fail("load");
    job.update = BeginUpdateResourceW(argv[2], TRUE);
    if (job.update == NULL)
        return fail("begin");
    EnumResourceTypesW(job.source, copy_type, (LONG_PTR)&job);
    if (job.failed) {
        EndUpdateResourceW(job.update, TRUE);
        return fail("copy resources");
    }
    if (!job.found && job.data == NULL) {
        EndUpdateResourceW(job.update, TRUE);
        SetLastError(ERROR_RESOURCE_NOT_FOUND);
        return fail("find");
    }
    if (!job.found && !UpdateResourceW(job.update, job.type, job.name, job.language,
                                       (void *)job.data, job.size)) {
        EndUpdateResourceW(job.update, TRUE);
        return fail("add");
    }
    if (!EndUpdateResourceW(job.update, FALSE))
        return fail("end");
    FreeLibrary(job.source);
    free(data);
    printf("result=0\n");
    return 0;
}
