#pragma once

// Written unescaped into every report.
constexpr const char *kPluginName = "rudeze_duziruzuderi";
constexpr const char *kPluginVersion = "1.0.1";
