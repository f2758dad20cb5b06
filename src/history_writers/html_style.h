// The history page's style sheet: light and dark after the reader's setting,
// a palette told apart in every colour vision, and print that keeps charts
// whole.
#pragma once

extern const char kHistoryPageStyle[];
