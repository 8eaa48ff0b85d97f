#include "cli/runtimefolder.h"

void provideRuntimeFolder() { }
