#include "util/kel_web.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <string>

#include "util/kel_log.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

// A cached resolution: only successful ones are stored.
struct HostAddr {
    uint32_t valid;
    uint32_t addr;  // network order
};

static std::map<std::string, HostAddr> _kel_web_hosts;
static int _kel_web_started = 0;

enum { KEL_WEB_BUF_LIMIT = 1 << 30 };

int kel_web_init() {
    _kel_web_started = 1;
    return 0;
}

void kel_web_deinit() { _kel_web_started = 0; }

static int64_t _kel_web_now() { return (int64_t)time(nullptr); }

static void _kel_web_perror(const char* op) {
    int e = errno;
    KEL_LOG("_kel_web_poll", "perror - %s [%d]: %s\n", op, e, strerror(e));
}

// Grows a buffer to hold need bytes: the smallest power of two not below need, but never
// more than ceiling (the most it can ever have to hold), the new bytes zero-filled. 0 when
// that is beyond the limit or memory runs out.
static int _kel_web_grow(char** buf, int* cap, int need, int ceiling = KEL_WEB_BUF_LIMIT) {
    if (need <= *cap) return 1;
    if (need > KEL_WEB_BUF_LIMIT) return 0;
    int n = 1;
    while (n < need) n <<= 1;
    if (n > ceiling && need <= ceiling) n = ceiling;
    char* p = (char*)realloc(*buf, (size_t)n);
    if (!p) return 0;
    memset(p + *cap, 0, (size_t)(n - *cap));
    *buf = p;
    *cap = n;
    return 1;
}

const uint32_t* kel_gethostbyname(const char* host) {
    auto it = _kel_web_hosts.find(host);
    if (it != _kel_web_hosts.end()) return &it->second.addr;
    KEL_LOG("kel_gethostbyname", "gethostbyname ...\n");
    struct hostent* h = gethostbyname(host);
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0]) {
        KEL_LOG("kel_gethostbyname", "gethostbyname(%s) == null; h_errno = %d\n", host, h_errno);
        herror("gethostbyname");
        return nullptr;
    }
    KEL_LOG("kel_gethostbyname", "kel_gethostbyname('%s') cached\n", host);
    HostAddr& a = _kel_web_hosts[host];
    a.valid = 1;
    memcpy(&a.addr, h->h_addr_list[0], sizeof a.addr);
    return &a.addr;
}

// Copies a name into its field; a name that does not fit is refused, since a cut one
// would name some other host or resource.
static int _kel_web_field(char* dst, size_t cap, const char* src, const char* what) {
    size_t n = strlen(src);
    if (n >= cap) {
        KEL_LOG("kel_web_create", "%s too long (%zu bytes, limit %zu)\n", what, n, cap - 1);
        return 0;
    }
    memcpy(dst, src, n + 1);
    return 1;
}

// Head, then the body bytes as they are.
static int _kel_web_request(kel_web* r, const void* body, int body_length) {
    if (!_kel_web_grow(&r->request, &r->request_capacity, KEL_WEB_HEAD_MAX + r->request_length))
        return 0;
    int n;
    if (body_length == 0)
        n = snprintf(r->request, KEL_WEB_HEAD_MAX, "GET %s HTTP/1.0\r\nHost: %s:%d\r\n\r\n",
                     r->path, r->host, r->port);
    else
        n = snprintf(r->request, KEL_WEB_HEAD_MAX,
                     "POST %s HTTP/1.0\r\nHost: %s:%d\r\n"
                     "Content-Type: application/x-www-form-urlencoded\r\n"
                     "Content-Length: %d\r\n\r\n",
                     r->path, r->host, r->port, body_length);
    if (n < 0 || n >= KEL_WEB_HEAD_MAX) {
        KEL_LOG("kel_web_create", "request head too long (limit %d bytes)\n", KEL_WEB_HEAD_MAX - 1);
        return 0;
    }
    r->request_length = n;
    if (body_length > 0) {
        if (body_length > KEL_WEB_BUF_LIMIT - n ||
            !_kel_web_grow(&r->request, &r->request_capacity, n + body_length)) {
            KEL_LOG("kel_web_create", "request body too large (%d bytes)\n", body_length);
            return 0;
        }
        memcpy(r->request + n, body, (size_t)body_length);
        r->request_length += body_length;
    }
    return 1;
}

kel_web* kel_web_create(const char* host, int port, const char* path, const void* body,
                        int body_length, int timeout_seconds) {
    kel_web* r = (kel_web*)calloc(1, sizeof(kel_web));
    if (!r) abort();
    r->port = port;
    r->timeout = timeout_seconds;
    r->deadline = _kel_web_now() + timeout_seconds;
    r->sock = -1;
    r->body_max = KEL_WEB_BODY_MAX;
    if (!body || body_length < 0) body_length = 0;
    if (port < 0 || port > 65535) {
        // htons would wrap it onto some other port
        KEL_LOG("kel_web_create", "port %d out of range\n", port);
        r->failed = 1;
        return r;
    }
    if (!_kel_web_field(r->host, sizeof r->host, host ? host : "", "host name") ||
        !_kel_web_field(r->path, sizeof r->path, path ? path : "", "path") ||
        !_kel_web_request(r, body, body_length)) {
        r->failed = 1;
        return r;
    }
    const uint32_t* addr = kel_gethostbyname(r->host);
    if (!addr) {
        KEL_LOG("kel_web_create", "kel_gethostbyname == null\n");
        r->failed = 1;
        return r;
    }
    r->addr.sin_family = AF_INET;
    r->addr.sin_port = htons((uint16_t)port);
    memcpy(&r->addr.sin_addr.s_addr, addr, sizeof(uint32_t));
    int s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s < 0) {
        int e = errno;
        KEL_LOG("kel_web_create", "perror - %s [%d]: %s\n", "socket", e, strerror(e));
        r->failed = 1;
        return r;
    }
    // select cannot watch a descriptor beyond its set; writing one would corrupt memory.
    if (s >= FD_SETSIZE) {
        KEL_LOG("kel_web_create", "socket %d beyond the select limit %d\n", s, FD_SETSIZE);
        close(s);
        r->failed = 1;
        return r;
    }
    fcntl(s, F_SETFL, fcntl(s, F_GETFL, 0) | O_NONBLOCK);
    r->sock = s;
    r->state = 1;
    return r;
}

// Looks for the blank line that ends the head in the bytes not scanned yet; until it
// has been seen everything received counts as head.
void _kel_web_head_scan(kel_web* r) {
    int i = r->head_scanned;
    for (; i < r->response_length && !r->head_done; i++) {
        char c = r->response[i];
        if (c == '\r') continue;
        if (c != '\n') {
            r->head_lfs = 0;
        } else if (++r->head_lfs == 2) {
            r->head_done = 1;
            r->head_length = i + 1;
        }
    }
    r->head_scanned = i;
    if (!r->head_done) r->head_length = r->response_length;
}

static int _kel_web_again() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

static int _kel_web_send(kel_web* r, int64_t now) {
    ssize_t n = send(r->sock, r->request + r->request_sent,
                     (size_t)(r->request_length - r->request_sent), MSG_NOSIGNAL);
    if (n < 0) {
        if (_kel_web_again()) return 0;
        _kel_web_perror("send");
        r->failed = 1;
        return 1;
    }
    r->request_sent += (int)n;
    if (n > 0) r->deadline = now + r->timeout;
    if (r->request_sent >= r->request_length) r->state = 3;
    return 0;
}

static int _kel_web_recv(kel_web* r, int64_t now) {
    int body_max = r->body_max < 0 ? 0 : r->body_max > KEL_WEB_BODY_LIMIT ? KEL_WEB_BODY_LIMIT
                                                                          : r->body_max;
    // The most the buffer can ever hold: the head and the body at their limits, and one
    // byte more, which tells a body at its limit from one past it.
    int ceiling = (r->head_done ? r->head_length : KEL_WEB_RESPONSE_HEAD_MAX) + body_max + 1;
    int room = ceiling - r->response_length;
    if (room > KEL_WEB_RECV) room = KEL_WEB_RECV;
    if (room <= 0 ||
        !_kel_web_grow(&r->response, &r->response_capacity, r->response_length + room, ceiling)) {
        KEL_LOG("_kel_web_poll", "response too large (%d bytes)\n", r->response_length);
        r->failed = 1;
        return 1;
    }
    // The buffer may have moved: the body pointer must follow it, even when this
    // receive brings nothing more.
    if (r->body) r->body = r->response + r->head_length;
    ssize_t n = recv(r->sock, r->response + r->response_length, (size_t)room, 0);
    if (n < 0) {
        if (_kel_web_again()) return 0;
        _kel_web_perror("recv");
        r->failed = 1;
        return 1;
    }
    if (n == 0) {
        r->state = 4;
        return 1;
    }
    r->response_length += (int)n;
    r->deadline = now + r->timeout;
    _kel_web_head_scan(r);
    r->body = r->response + r->head_length;
    r->body_length = r->response_length - r->head_length;
    r->fresh = 1;
    if (!r->head_done && r->response_length >= KEL_WEB_RESPONSE_HEAD_MAX) {
        KEL_LOG("_kel_web_poll", "response head over %d bytes\n", KEL_WEB_RESPONSE_HEAD_MAX);
        r->failed = 1;
        return 1;
    }
    if (r->body_length > body_max) {
        KEL_LOG("_kel_web_poll", "response body over %d bytes\n", body_max);
        r->failed = 1;
        return 1;
    }
    return 0;
}

int _kel_web_poll(kel_web* r) {
    r->fresh = 0;
    if (r->state == 4 || r->failed || r->sock < 0) return 1;
    int64_t now = _kel_web_now();
    if (now > r->deadline) {
        KEL_LOG("_kel_web_poll", "timeout :: state = %d\n", r->state);
        r->failed = 1;
        return 1;
    }
    if (r->state == 1) {
        if (connect(r->sock, (struct sockaddr*)&r->addr, sizeof r->addr) != 0 &&
            errno != EINPROGRESS) {
            _kel_web_perror("connect");
            r->failed = 1;
            return 1;
        }
        r->state = 2;
        r->deadline = now + r->timeout;
    }
    fd_set rd, wr, ex;
    FD_ZERO(&rd);
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    FD_SET(r->sock, &rd);
    FD_SET(r->sock, &wr);
    FD_SET(r->sock, &ex);
    struct timeval tv = {0, 0};
    int ready = select(r->sock + 1, &rd, &wr, &ex, &tv);
    if (ready < 0) {
        if (errno == EINTR) return 0;
        _kel_web_perror("select");
        r->failed = 1;
        return 1;
    }
    if (ready == 0) return 0;
    if (r->state == 2 && FD_ISSET(r->sock, &wr)) return _kel_web_send(r, now);
    if (r->state == 3 && FD_ISSET(r->sock, &rd)) return _kel_web_recv(r, now);
    return 0;
}

void kel_web_free(kel_web* r) {
    if (!r) return;
    if (r->sock >= 0) close(r->sock);
    free(r->request);
    free(r->response);
    free(r);
}
