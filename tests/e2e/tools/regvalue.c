/* Writes one registry value byte for byte, with a type of the caller's choice, which reg.exe
 * cannot do (it always terminates a string):
 *
 *   regvalue <HKLM subkey> <value name> <type number> <hex bytes>
 *
 * The key is opened, or made, in the 32-bit view, where a 32-bit product keeps its
 * settings. Prints "result=<Windows error code>"; exits 0 on success, 1 on failure. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static int hex_digit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

int wmain(int argc, wchar_t **argv)
{
    HKEY key = NULL;
    BYTE *data;
    size_t length, i;
    LONG result;

    if (argc != 5 || wcslen(argv[4]) % 2 != 0) {
        fprintf(stderr, "usage: regvalue <HKLM subkey> <value name> <type> <hex bytes>\n");
        return 2;
    }
    length = wcslen(argv[4]) / 2;
    /* RegSetValueExW counts a string's terminator in when the caller left it out and a zero
     * follows the data; the two bytes after the data are not zero, so nothing is added. */
    data = malloc(length + 2);
    if (data != NULL)
        data[length] = data[length + 1] = 0xFF;
    for (i = 0; i < length; ++i) {
        int high = hex_digit(argv[4][2 * i]), low = hex_digit(argv[4][2 * i + 1]);
        if (data == NULL || high < 0 || low < 0) {
            fprintf(stderr, "regvalue: not hex bytes: %ls\n", argv[4]);
            return 2;
        }
        data[i] = (BYTE)(high * 16 + low);
    }
    result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, NULL, 0,
                             KEY_SET_VALUE | KEY_WOW64_32KEY, NULL, &key, NULL);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, argv[2], 0, wcstoul(argv[3], NULL, 10), data, (DWORD)length);
        RegCloseKey(key);
    }
    free(data);
    printf("result=%ld\n", result);
    return result == ERROR_SUCCESS ? 0 : 1;
}
