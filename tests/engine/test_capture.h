// Test helper: runs a function with the standard output captured in a temp file.
#ifndef TEST_CAPTURE_H
#define TEST_CAPTURE_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

template <class F>
std::string capture_stdout(F fn) {
    fflush(stdout);
    char name[] = "/tmp/kel_out_XXXXXX";
    int fd = mkstemp(name);
    int saved = dup(1);
    dup2(fd, 1);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    char buf[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
    close(fd);
    unlink(name);
    return out;
}

#endif
