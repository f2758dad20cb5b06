// The page's figures as JSON in <script type="application/json"
// id="history-data">: every number the page draws or writes, each row with the
// field names and values the JSON report gives for its grouping and window.
#pragma once

#include "history_tables/tally.h"
#include "history_writers/html_model.h"

void write_page_data(const HistoryTally &tally, const HtmlPage &page, const PageModel &model);
