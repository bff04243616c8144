/* Preloaded into vornex-cli by cli_test.sh: makes the k-th call of write(),
 * fsync() or rename() fail, as a full disk, a failing device or a crash
 * between two steps would, to show that every step of a change leaves the
 * hive, its logs and its backup whole.
 *   VORNEX_FAIL_WRITE=k  VORNEX_FAIL_FSYNC=k  VORNEX_FAIL_RENAME=k  (1 = the first call) */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static int Fails(const char* variable, int* calls) {
    const char* wanted = getenv(variable);
    return wanted && ++*calls == atoi(wanted);
}

ssize_t write(int fd, const void* data, size_t size) {
    static int calls;
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    /* Standard output and error are the report, not the change. */
    if (fd > 2 && Fails("VORNEX_FAIL_WRITE", &calls)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, size);
}

int fsync(int fd) {
    static int calls;
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    if (Fails("VORNEX_FAIL_FSYNC", &calls)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static int calls;
    static int (*real)(const char*, const char*);
    if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    if (Fails("VORNEX_FAIL_RENAME", &calls)) {
        errno = EIO;
        return -1;
    }
    return real(from, to);
}
