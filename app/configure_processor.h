// The run's settings as the file processor takes them.
#pragma once

namespace corvalin {

struct RunSettings;
class MyObjectAes;

// Copies command, password, cipher parameters, file options and the compression settings and
// exclusions into `processor`. The cipher module is loaded apart.
void ConfigureProcessor(const RunSettings& settings, MyObjectAes& processor);

}  // namespace corvalin
