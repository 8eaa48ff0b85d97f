#pragma once

#include <string>

// Adds every TrueType font file in `folder` to this process's fonts; returns
// how many were added.
int addBundledFonts(const std::wstring &folder);

// The "fonts" folder beside the running program.
std::wstring bundledFontFolder();
