/*
 * Runs a program with a file as its standard input, the way a web server
 * hands a CGI its POST body: stdin_exec FILE PROGRAM [ARG...]. The
 * benchmark times every case through it, so each pays the same exec.
 */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("usage: stdin_exec FILE PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0 || dup2(fd, 0) < 0) {
        perror(argv[1]);
        return 2;
    }
    if (fd != 0)
        close(fd);
    execv(argv[2], argv + 2);
    perror(argv[2]);
    return 127;
}
