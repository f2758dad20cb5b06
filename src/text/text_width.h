// How wide a text shows in a terminal, for aligned columns.
#pragma once

// The characters of a UTF-8 text: its bytes less the continuation bytes.
// (Wide East Asian characters count as one, like every other.)
int text_width(const char *text);
