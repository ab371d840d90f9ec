// Fuzzes the HTTP head split: a response fed in random pieces, through a buffer that
// moves as it grows, splits where the whole response does: after the first blank line
// (LF LF with any CRs between), or nowhere, with the whole response counted as head.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "util/kel_web.h"

// The split of the whole response, written independently: the offset after the second
// of two line feeds with nothing but CRs between them, or -1.
static int _split(const uint8_t* p, int n) {
    int lfs = 0;
    for (int i = 0; i < n; i++) {
        if (p[i] == '\r') continue;
        lfs = p[i] == '\n' ? lfs + 1 : 0;
        if (lfs == 2) return i + 1;
    }
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 20) return 0;
    // the first byte seeds the piece sizes
    uint32_t seed = data[0] * 2654435761u + 1;
    const uint8_t* body = data + 1;
    int n = (int)size - 1;
    kel_web* r = (kel_web*)calloc(1, sizeof(kel_web));
    for (int pos = 0; pos < n;) {
        seed = seed * 1103515245u + 12345u;
        int piece = 1 + (int)((seed >> 16) % 7);
        if (piece > n - pos) piece = n - pos;
        // a fresh buffer each time, so a scan that kept a pointer reads freed memory
        char* grown = (char*)malloc((size_t)(r->response_length + piece));
        if (r->response_length) memcpy(grown, r->response, (size_t)r->response_length);
        memcpy(grown + r->response_length, body + pos, (size_t)piece);
        free(r->response);
        r->response = grown;
        r->response_length += piece;
        pos += piece;
        _kel_web_head_scan(r);
        if (r->head_length < 0 || r->head_length > r->response_length) abort();
    }
    int want = _split(body, n);
    if (r->head_done ? r->head_length != want : (want != -1 || r->head_length != n)) abort();
    free(r->response);
    free(r);
    return 0;
}
