// kel_web: a minimal HTTP/1.0 client, one request per record, driven by polling.
//
// A record makes a plain TCP connection to an IPv4 address, sends a GET (or, with a
// body, a form-encoded POST) and reads until the server closes. Every poll does at most
// one connect, one send or one receive and never blocks; only the first look-up of a
// host name does (names are resolved once per process and cached). A name that does not
// resolve is not cached: every request to it blocks on the resolver again.
//
//   kel_web* r = kel_web_create("127.0.0.1", 8080, "/scores", nullptr, 0, 10);
//   while (!_kel_web_poll(r)) { ... one poll per frame ... }
//   if (!r->failed) use(r->body, r->body_length);
//   kel_web_free(r);
//
// Host names of more than 255 bytes, paths of more than 1023 and heads that do not fit
// their 1024 bytes give a failed record at creation (logged), as does a name that does
// not resolve. The head ends at the first blank line (LF LF, CRs skipped), however the
// response is split over receives; until it has been seen the body is empty. A response
// head longer than 16 kB, or a body longer than body_max (16 MB unless the caller sets
// it after creation), fails the request (logged); reading stops a byte past the limit.
#ifndef KEL_WEB_H
#define KEL_WEB_H

#include <netinet/in.h>
#include <stdint.h>

enum {
    KEL_WEB_HOST_MAX = 256,   // host field, NUL included
    KEL_WEB_PATH_MAX = 1024,  // path field, NUL included
    KEL_WEB_HEAD_MAX = 1024,  // room for the request head
    KEL_WEB_RECV = 4096,      // bytes per receive
    KEL_WEB_RESPONSE_HEAD_MAX = 16 * 1024,  // response head, blank line included
    KEL_WEB_BODY_MAX = 16 * 1024 * 1024,    // default body_max
    KEL_WEB_BODY_LIMIT = (1 << 30) - 32 * 1024,  // the largest body_max honoured
};

// States: 0 creation failed, 1 socket open, 2 connecting or sending, 3 receiving,
// 4 finished. A failure in 1 to 3 sets failed and leaves the state as it was.
struct kel_web {
    char* body;  // inside response; valid once data has arrived
    int body_length;
    int failed;
    int fresh;  // the last poll received data
    char host[KEL_WEB_HOST_MAX];
    int port;
    char path[KEL_WEB_PATH_MAX];
    int request_length, request_capacity, request_sent;
    char* request;  // head plus body
    int response_length, response_capacity;
    char* response;  // everything received, head included
    int head_length;
    int state;
    int64_t deadline;  // time() seconds; renewed whenever bytes move
    int timeout;
    int sock;  // -1 when none
    struct sockaddr_in addr;
    // Head search across receives: bytes scanned so far, line feeds in a row.
    int head_scanned;
    int head_lfs;
    int head_done;
    int body_max;  // bytes of body accepted; more fails the request
};

int kel_web_init();
void kel_web_deinit();

// Never null; failed = 1 reports a failure at creation (state 0, no socket).
kel_web* kel_web_create(const char* host, int port, const char* path, const void* body,
                        int body_length, int timeout_seconds);
// 1 when the request is over (finished or failed), 0 while it is in progress.
int _kel_web_poll(kel_web* r);
void kel_web_free(kel_web* r);
// Continues the search for the end of the head over the response bytes not scanned yet
// (called after every receive); head_length counts everything until the end is seen.
void _kel_web_head_scan(kel_web* r);

// The cached IPv4 address (network order) of a host, resolving it on a miss; null when
// it does not resolve (nothing is cached then, so the next call tries again).
const uint32_t* kel_gethostbyname(const char* host);

#endif
