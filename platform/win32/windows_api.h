#pragma once

// windows.h for the files that implement the platform. Its A/W macros would rename the
// interface methods that share a name with a Win32 function; this code always calls the
// wide function by its full name, so the macros go.
#include <windows.h>
#include <winver.h>

#undef DeleteFile
#undef GetEnvironmentVariable
#undef GetFileAttributes
#undef GetFullPathName
#undef GetTempPath
#undef MessageBox
#undef MoveFile
#undef ReplaceFile
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
