/* Loaded before the C library by bench/flush-cost, so that a run skips every flush to stable
   storage: the difference of the two timings is what durability costs. */
#include <unistd.h>

int fsync(int fd) {
  (void)fd;
  return 0;
}

int fdatasync(int fd) {
  (void)fd;
  return 0;
}
