/* Preloaded into a program under test: close() of a file whose name ends in
 * ".close-fails" releases the descriptor and then reports EIO, as a close
 * on a network or quota-bound file system can. Every other close is left
 * alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char kSuffix[] = ".close-fails";

/* The programs it starts (the daemon) run without it. */
__attribute__((constructor)) static void Forget(void) { unsetenv("LD_PRELOAD"); }

int close(int fd)
{
    static int (*next)(int);
    if (!next)
        next = (int (*)(int))dlsym(RTLD_NEXT, "close");
    char link[32];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target);
    const ssize_t suffix = (ssize_t)(sizeof kSuffix - 1);
    const int fails = length >= suffix && memcmp(target + length - suffix, kSuffix, (size_t)suffix) == 0;
    const int closed = next(fd);
    if (fails && closed == 0) {
        errno = EIO;
        return -1;
    }
    return closed;
}
