// A library that is no cipher module, named like one and planted where no module belongs:
// loading it runs code that leaves a mark in the current folder, so that a test sees whether a
// run loaded it at all (and not only whether it used it).
#include <fstream>

namespace {

struct LeaveMark {
  LeaveMark() { std::ofstream("planted-module-ran") << "loaded\n"; }
};
const LeaveMark mark;

}  // namespace
