#pragma once

namespace corvalin {

class Platform;
struct RunSettings;

// Every setting in force (never the password), then the library report.
void PrintSettingsReport(Platform& platform, const RunSettings& settings);

}  // namespace corvalin
