/* The terminal floor: the least a program can do to show black on the
 * controlling terminal. Switches to the alternate screen, hides the cursor,
 * erases it in black (the terminal fills with the ground colour), waits a
 * second and gives the terminal back. No terminfo, no C++ runtime. */

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static void put(int fd, const char* text) {
  (void)!write(fd, text, strlen(text));
}

int main(void) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (fd < 0) return 3;
  put(fd, "\x1b[?1049h\x1b[?25l\x1b[48;2;0;0;0m\x1b[2J");
  const struct timespec second = {1, 0};
  nanosleep(&second, NULL);
  put(fd, "\x1b[m\x1b[?25h\x1b[?1049l");
  close(fd);
  return 0;
}
