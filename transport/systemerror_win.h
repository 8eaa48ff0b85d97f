#pragma once

#include <QString>

// The system's words for a Win32 error code (GetLastError()), as
// FormatMessage gives them in the user's language: "Access is denied",
// without the full stop and line end the system puts after them; "error
// 1234" for a code the system has no words for.
//
// qt_error_string() is no substitute on Windows: it takes a code as an errno
// value first, so ERROR_INVALID_DATA (13, EACCES) would read "Permission
// denied" and ERROR_OUT_OF_PAPER (28, ENOSPC) "No space left on device".
QString windowsErrorText(unsigned long systemError);
