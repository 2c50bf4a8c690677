/* The hole the launcher must not have: a program that imports msi.dll the usual way
   loads a copy planted in its own folder. */
#include <windows.h>
#include <msi.h>

int main(void) { return (int)MsiCloseHandle(0); }
