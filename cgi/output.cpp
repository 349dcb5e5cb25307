#include "output.h"

#include <stdio.h>

#include "text.h"

void out_text(const char *s, size_t n)
{
    if (n > 0)
        fwrite(s, 1, n, stdout);
}

void out_str(const char *s)
{
    out_text(s, text_len(s));
}

void out_char(char c)
{
    out_text(&c, 1);
}
