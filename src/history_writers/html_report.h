// The history as one self-contained HTML5 page: totals, time by period, a year
// calendar, the week's rhythm, where the time went by project, model and
// profile, and the most active sessions. Charts are inline SVG, each followed
// by the same figures as a table; nothing is fetched, and nothing depends on
// a script.
#pragma once

#include "history_tables/tally.h"
#include "history_writers/html_model.h"

void write_html_report(const HistoryTally &tally, const HtmlPage &page);
