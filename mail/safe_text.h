#pragma once

#include <string>

// Text from outside (a server, a mail) as it may be shown or logged. Broken
// UTF-8 is repaired, each byte of a broken sequence becoming U+FFFD; a tab
// becomes a space. Removed are every other C0 and C1 control, the marks,
// embeddings, overrides and isolates that reorder text (U+061C, U+200E/F,
// U+202A-202E, U+2066-2069), the line and paragraph separators, U+FEFF and
// U+FFF9-FFFB. The joiners U+200C/D stay (emoji and Persian need them), and
// so does the no-break space. Line breaks the program means are put in
// after this.
std::string SafeText(const std::string& text);
