#pragma once

// Before a Qt GUI application object is made outside a desktop session:
// gives Qt the private runtime folder it warns about on every run when the
// session has none (XDG_RUNTIME_DIR). Nothing on Windows, which has no such
// folder.
void provideRuntimeFolder();
