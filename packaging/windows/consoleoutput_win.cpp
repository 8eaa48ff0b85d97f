// qm320.exe is a window program, so Windows gives it no console of its own,
// and "qm320 --help" typed in a command prompt would print nothing. Before
// main() runs, standard output and error that lead nowhere are sent to the
// console of the command prompt that started the program, when there is
// one; output redirected to a file or a pipe stays where it was sent.

#include <windows.h>

#include <cstdio>

namespace {

bool leadsNowhere(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

bool useTheParentsConsole()
{
    const bool output = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool errors = leadsNowhere(STD_ERROR_HANDLE);
    if ((!output && !errors) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return false;
    if (output)
        std::freopen("CONOUT$", "w", stdout);
    if (errors)
        std::freopen("CONOUT$", "w", stderr);
    return true;
}

const bool attached = useTheParentsConsole();

} // namespace
