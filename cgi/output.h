// Everything the program writes to standard output goes through out_text,
// the one C library output call it makes: the page's template text goes
// through the same stdio stream, so the order stays as written.
#ifndef S2N_OUTPUT_H
#define S2N_OUTPUT_H

#include <stddef.h>

// The n bytes at s.
void out_text(const char *s, size_t n);

// A text up to its end mark.
void out_str(const char *s);

// One character.
void out_char(char c);

#endif
