// stb_truetype (ours and the GUI library's copy) trusts the font file it is
// given and reads past a damaged one. Check a file with this first.
#pragma once

#include <cstddef>

// True when the table directory and every table it names lie inside the bytes
// and stb_truetype can open the font.
bool isUsableFont(const unsigned char* bytes, size_t size);
