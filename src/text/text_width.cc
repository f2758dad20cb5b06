#include "text/text_width.h"

int text_width(const char *text) {
  int width = 0;
  for (const char *p = text; *p != '\0'; ++p) {
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++width;
  }
  return width;
}
