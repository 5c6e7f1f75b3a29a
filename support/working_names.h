// The names Corvalin works under inside a folder it processes. They are the folder's reserved
// names: never selected as a source, never restored from a container, and taken over when a
// killed run left them behind.
#pragma once

#include <string>
#include <string_view>

namespace corvalin {

// Where a container is written or decrypted before it gets its final name.
inline constexpr const char* kTempFileName = "~aes.tmp";
// The other side of a compression step: the compressed intermediate of an encryption, the
// decompressed output of a decryption.
inline constexpr const char* kSecondTempFileName = "~aes2.tmp";

// The working names of worker `worker` of a run's second pass: the two above for the first
// (and for a run on one worker), "~aes-<worker>.tmp" and "~aes2-<worker>.tmp" for the others,
// so that files of one folder in flight side by side never share one.
std::string WorkingName(bool second, unsigned worker);

// Whether `name` is a reserved working name (the two above, a worker's, or a name a removal
// moved aside, kRemovingPrefix and more); in any letter case where the file system ignores
// case.
bool IsWorkingName(std::string_view name);

}  // namespace corvalin
