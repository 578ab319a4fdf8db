/* Checks every entry of an archive through the C API, as `arjhost test`:
 * its size, CRC-32 and name, or why it failed.   c_example ARCHIVE */
#include <arjhost.h>
#include <stdio.h>

int main(int argc, char **argv) {
  if (argc != 2) return fprintf(stderr, "usage: c_example ARCHIVE\n"), 2;
  arjhost_archive *a = arjhost_open_path(argv[1], NULL);
  arjhost_entry *e;
  int r, failed = 0;
  while ((r = arjhost_next_entry(a, &e)) == ARJHOST_OK) {
    static char buffer[65536];
    ptrdiff_t n;
    unsigned long long size = 0;
    while ((n = arjhost_read_data(a, buffer, sizeof buffer)) > 0) size += (unsigned long long)n;
    if (n < 0 && ++failed) fprintf(stderr, "%s\n", arjhost_error_string(a));
    else printf("%10llu  %08lx  ", size, (unsigned long)arjhost_entry_crc32(e));
    /* A name is a stranger's text: no control character reaches the terminal. */
    for (const char *c = arjhost_entry_name(e); n == 0 && *c; ++c) putchar((unsigned char)*c < 0x20 ? '?' : *c);
    if (n == 0) putchar('\n');
  }
  if (r != ARJHOST_END) fprintf(stderr, "%s\n", arjhost_error_string(a));
  arjhost_close(a);
  return r != ARJHOST_END || failed ? 1 : 0;
}
