// Text resources of the page, embedded into the program at build time from the
// files of the same names in this folder.
#pragma once

#include <cstddef>

struct PageResource {
  const char *bytes;
  size_t size;
};

extern const PageResource page_style_css;
extern const PageResource theme_boot_js;
extern const PageResource theme_bridge_js;
extern const PageResource page_body_html;
// dashboard.js, split where the request's session id goes.
extern const PageResource dashboard_js_head;
extern const PageResource dashboard_js_tail;
