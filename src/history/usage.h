// What --help prints: every option and how time is attributed, briefly.
#pragma once

extern const char kUsage[];
