// Test helpers for the HTTP client: local servers on 127.0.0.1 only.
//
//   PyServer py(dir);            // python3 http.server over dir (+ POST /score, GET /board)
//   RawServer raw({{"HTTP/1.0 200 OK\n\nhi", 0}});  // one connection, scripted answer
#ifndef NET_TEST_UTIL_H
#define NET_TEST_UTIL_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The Python server of tests/net, started on a free port; killed by its pid.
struct PyServer {
    pid_t pid = -1;
    int port = 0;
    int out = -1;
    explicit PyServer(const std::string& dir) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            std::string script = std::string(KEL_SOURCE_DIR) + "/tests/net/net_server.py";
            execlp("python3", "python3", script.c_str(), dir.c_str(), (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buf[16] = {0};
        ssize_t n = read(fds[0], buf, sizeof buf - 1);
        out = fds[0];  // kept open: the server's stdout must not break under it
        port = n > 0 ? atoi(buf) : 0;
    }
    ~PyServer() {
        if (out >= 0) close(out);
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

// One piece of a scripted answer: bytes to send, then a pause.
struct RawPiece {
    std::string bytes;
    int pause_ms;
};

// Accepts one connection on a free loopback port, reads the request (head and
// Content-Length body), then sends the pieces and closes; with hang set it keeps the
// connection open without answering until destroyed.
struct RawServer {
    int lfd = -1;
    int port = 0;
    std::string request;
    std::atomic<bool> stop{false};
    std::thread th;

    explicit RawServer(std::vector<RawPiece> pieces, bool hang = false) {
        lfd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(lfd, (sockaddr*)&a, sizeof a) != 0 || listen(lfd, 4) != 0) return;
        getsockname(lfd, (sockaddr*)&a, &len);
        port = ntohs(a.sin_port);
        th = std::thread([this, pieces, hang] { serve(pieces, hang); });
    }
    ~RawServer() {
        stop = true;
        join();
        if (lfd >= 0) close(lfd);
    }
    // Waits for the connection to end; the request is then complete.
    const std::string& join() {
        if (th.joinable()) th.join();
        return request;
    }
    // Waits up to ms for fd to be readable; false when stopping or timed out.
    bool wait_readable(int fd, int ms) {
        pollfd p = {fd, POLLIN, 0};
        for (int t = 0; t < ms && !stop; t += 10)
            if (poll(&p, 1, 10) > 0) return true;
        return false;
    }
    void serve(const std::vector<RawPiece>& pieces, bool hang) {
        if (!wait_readable(lfd, 10000)) return;
        int c = accept(lfd, nullptr, nullptr);
        if (c < 0) return;
        size_t want = std::string::npos;
        char buf[4096];
        while (request.size() < want && wait_readable(c, 5000)) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, (size_t)n);
            size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos && want == std::string::npos) {
                size_t cl = request.find("Content-Length: ");
                want = end + 4 + (cl != std::string::npos ? (size_t)atoi(request.c_str() + cl + 16) : 0);
            }
        }
        for (const RawPiece& p : pieces) {
            send(c, p.bytes.data(), p.bytes.size(), MSG_NOSIGNAL);
            if (p.pause_ms) usleep((useconds_t)p.pause_ms * 1000);
        }
        while (hang && !stop) usleep(10000);
        close(c);
    }
};

#endif
