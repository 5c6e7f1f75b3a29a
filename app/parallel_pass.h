// The second pass on several workers: the listed files are handled side by side, each in a
// transaction of its own, while the run says and counts exactly what a run on one worker would
// (OrderedOutput). A file and a file that may be its container, or its source, are never in
// flight at once: one waits for the other, as a serial run would have taken them one after
// the other.
#pragma once

#include "select/selection.h"

namespace corvalin {

class DiskFile;
class MyFinder;
class MyObjectAes;
class MyStream;
class Platform;

// Hands every listed file that still exists to `workers` workers of `processor`, in list
// order, each with what the first pass recorded of it in `selection`, and counts the outcomes
// into `counts` as its Found would. Raises what stopped the run (an interruption, a failure
// of the list), after every file in flight is done or undone.
void RunListInParallel(Platform& platform, DiskFile& list, const Selection& selection,
                       MyObjectAes& processor, MyStream& sink, MyFinder& counts, unsigned workers);

}  // namespace corvalin
