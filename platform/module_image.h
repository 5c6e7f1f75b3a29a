// Whether a file is a complete loadable module of this platform, judged from its headers
// before the loader maps it: a truncated module, or one of another word size or processor,
// would otherwise crash the process inside the loader instead of failing to load.
#pragma once

#include <string>

namespace corvalin {

bool IsLoadableImage(const std::string& path);

}  // namespace corvalin
