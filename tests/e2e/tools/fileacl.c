/* Prints the access list of a file as the system reads it back, in the security descriptor
 * language ("D:P(A;;FA;;;SY)..."), on one line; exits 0, or 1 when it cannot be read.
 *
 *   fileacl <path> */
#include <windows.h>
#include <sddl.h>
#include <stdio.h>

int wmain(int argc, wchar_t **argv)
{
    DWORD size = 0;
    PSECURITY_DESCRIPTOR descriptor;
    LPWSTR text = NULL;

    if (argc != 2) {
        fprintf(stderr, "usage: fileacl <path>\n");
        return 2;
    }
    GetFileSecurityW(argv[1], DACL_SECURITY_INFORMATION, NULL, 0, &size);
    descriptor = size ? LocalAlloc(LPTR, size) : NULL;
    if (descriptor == NULL ||
        !GetFileSecurityW(argv[1], DACL_SECURITY_INFORMATION, descriptor, size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, NULL)) {
        printf("error=%lu\n", GetLastError());
        return 1;
    }
    wprintf(L"%ls\n", text);
    LocalFree(text);
    LocalFree(descriptor);
    return 0;
}
