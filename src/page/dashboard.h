// The dashboard page reply.
#pragma once

// Writes the whole page, header block included, with `sid` as the session the
// page's script selects when its URL names none.
void print_dashboard_page(const char *sid);
