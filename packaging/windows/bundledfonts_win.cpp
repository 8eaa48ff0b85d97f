// The fonts the Windows program ships in its "fonts" folder (Liberation,
// which Windows lacks), made known to this process before Qt reads the
// system's fonts: AddFontResourceEx with FR_PRIVATE adds them for this
// process only, needs no rights and installs nothing. Linked into each
// program, it runs when the application object is made.

#include "packaging/windows/bundledfonts_win.h"

#include <QCoreApplication>

#include <windows.h>

#include <string>

int addBundledFonts(const std::wstring &folder)
{
    int added = 0;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\*.ttf";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::wstring file = folder + L"\\" + found.cFileName;
        if (AddFontResourceExW(file.c_str(), FR_PRIVATE, nullptr) > 0)
            ++added;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return added;
}

std::wstring bundledFontFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash)) + L"\\fonts";
}

namespace {

void addFontsBesideTheProgram()
{
    addBundledFonts(bundledFontFolder());
}

} // namespace

// Before any window or report asks for a font: the application object's
// constructor runs this.
Q_COREAPP_STARTUP_FUNCTION(addFontsBesideTheProgram)
