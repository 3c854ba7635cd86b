/* Writes the monotonic clock, in nanoseconds, to the descriptor named by
 * its first argument, then executes the rest of its arguments in its own
 * place: the moment a program is executed, without the time the script
 * takes to fork and set up its child. Usage: exec-stamp FD PROGRAM [ARG...] */

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int fd = atoi(argv[1]);
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  dprintf(fd, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  close(fd);
  execv(argv[2], argv + 2);
  return 127;
}
