#include "tools/runtimefolder.h"

void provideRuntimeFolder()
{
}
