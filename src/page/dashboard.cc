#include "page/dashboard.h"

#include "output/output.h"
#include "page/page_resources.h"

namespace {

void out_resource(const PageResource &resource) {
  out_bytes(resource.bytes, resource.size);
}

// Writes `sid` inside the script's single-quoted string literal. Apostrophes and
// backslashes get a backslash; bytes that would end the literal or the script
// element (line breaks, other control bytes, "<" as in "</script>", and the
// line separators U+2028 and U+2029) are written as escapes, so the script
// receives the value unchanged.
void out_script_literal(const char *sid) {
  for (const char *pos = sid; *pos != '\0'; ++pos) {
    const auto byte = static_cast<unsigned char>(*pos);
    if (byte == '\'' || byte == '\\') {
      const char escaped[2] = {'\\', *pos};
      out_bytes(escaped, 2);
    } else if (byte == '\n') {
      out_bytes("\\n", 2);
    } else if (byte == '\r') {
      out_bytes("\\r", 2);
    } else if (byte < 0x20 || byte == '<') {
      out_format("\\x%02x", byte);
    } else if (byte == 0xE2 && static_cast<unsigned char>(pos[1]) == 0x80 &&
               (static_cast<unsigned char>(pos[2]) == 0xA8 ||
                static_cast<unsigned char>(pos[2]) == 0xA9)) {
      out_text(static_cast<unsigned char>(pos[2]) == 0xA8 ? "\\u2028" : "\\u2029");
      pos += 2;
    } else {
      out_bytes(pos, 1);
    }
  }
}

}  // namespace

void print_dashboard_page(const char *sid) {
  out_text(
      "Content-Type: text/html; charset=utf-8\r\n"
      "Cache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "\r\n"
      "<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'>"
      "<meta name='viewport' content='width=device-width,initial-scale=1'>"
      "<title>Session Analytics</title><script>");
  out_resource(theme_boot_js);
  out_text("</script>\n<style>");
  out_resource(page_style_css);
  out_text("</style></head><script>");
  out_resource(theme_bridge_js);
  out_text("</script>\n<body>");
  out_resource(page_body_html);
  out_text("<script>");
  out_resource(dashboard_js_head);
  out_script_literal(sid);
  out_resource(dashboard_js_tail);
  out_text("</script></body></html>\n");
}
