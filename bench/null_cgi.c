/*
 * The bare null of the request benchmark: a CGI that loads the same
 * platform libraries as the service mode program (the build links it with
 * --no-as-needed) and writes a response of the same size, and does nothing
 * else. Linked statically, it is the floor without a dynamic loader.
 * NULL_PAGE_BYTES is the whole response, header included.
 */
#include <stdio.h>
#include <string.h>

#ifndef NULL_PAGE_BYTES
#define NULL_PAGE_BYTES 8192
#endif

static const char header[] = "Content-Type: text/html\r\n\r\n";

_Static_assert(NULL_PAGE_BYTES >= 2 * sizeof header,
               "NULL_PAGE_BYTES must leave room for the header");

static char body[NULL_PAGE_BYTES - (sizeof header - 1)];

int main(void)
{
    /* Printable lines of 80 columns, like template text. */
    memset(body, 'x', sizeof body);
    for (size_t i = 79; i < sizeof body; i += 80)
        body[i] = '\n';
    fputs(header, stdout);
    fwrite(body, 1, sizeof body, stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}
