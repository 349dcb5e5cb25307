/*
 * The request benchmark's nulls write a response of NULL_PAGE_BYTES, header
 * included, and one console line the way every CGI of the device writes its
 * trace lines. The bare and slots nulls are linked with the platform
 * libraries (never called); NULL_SLOTS adds eight PLT slots, never called.
 */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char header[] = "Content-Type: text/html\r\n\r\n";
static const char line[] = "bench: bare null\n";
static char body[NULL_PAGE_BYTES - (sizeof header - 1)];

int main(int argc, char **argv)
{
    (void)argc, (void)argv;
#ifdef NULL_SLOTS
    if (argc > 1000000) /* never: the calls only make the slots */
        return getpid() + getppid() + (int)getuid() + (int)geteuid() + (int)getgid() + (int)getegid() +
               getpgrp() + isatty(0);
#endif
    /* Printable lines of 80 columns, like template text. */
    memset(body, 'x', sizeof body);
    for (size_t i = 79; i < sizeof body; i += 80)
        body[i] = '\n';
    int fd = open("/dev/null", O_WRONLY | O_NOCTTY);
    if (fd >= 0) {
        ssize_t n = write(fd, line, sizeof line - 1);
        (void)n; /* a trace line is not worth failing the page for */
        close(fd);
    }
    fwrite(header, 1, sizeof header - 1, stdout);
    fwrite(body, 1, sizeof body, stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}
