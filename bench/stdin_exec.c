/*
 * stdin_exec FILE PROGRAM [ARG...]: runs PROGRAM with FILE as its standard
 * input, as a web server hands a CGI its POST body. The benchmark times
 * every variant through it, so each pays the same exec.
 */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    int fd = argc < 3 ? -1 : open(argv[1], O_RDONLY);
    if (fd < 0 || dup2(fd, 0) < 0) {
        fputs("usage: stdin_exec FILE PROGRAM [ARG...] (FILE readable)\n", stderr);
        return 2;
    }
    execv(argv[2], argv + 2);
    perror(argv[2]);
    return 127;
}
