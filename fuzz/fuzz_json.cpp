// Fuzzes JSON decoding: every document that decodes must encode to text that decodes again
// (unless it holds a number beyond the double range, which encodes as inf), the second
// encoding must be a fixed point, the parser must reach the same verdict whether the input
// arrives whole or in two pieces, and a large text (white space appended) must read the same.
#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ext/json/JSON_parser.h"
#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_var.h"

static bool _has_nonfinite(const var& v) {
    switch (v.type()) {
    case 1: return !isfinite(v.number());
    case 3:
        for (const var& e : v.as_list()->elements)
            if (_has_nonfinite(e)) return true;
        return false;
    case 4:
        for (const auto& kv : v.as_dict()->entries)
            if (_has_nonfinite(kv.second)) return true;
        return false;
    default: return false;
    }
}

// Offset of the rejected byte, n when accepted, n + 1 when the end was refused.
static size_t _verdict(const char* s, size_t n, size_t cut) {
    JSON_config cfg;
    JSON_config_init(&cfg);
    JSON_parser p = JSON_parser_new(&cfg);
    size_t r = JSON_parser_feed(p, s, cut);
    if (r == cut) {
        size_t b = JSON_parser_feed(p, s + cut, n - cut);
        r = b < n - cut ? cut + b : JSON_parser_end(p) ? n : n + 1;
    }
    JSON_parser_free(p);
    return r;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (driver_verbose_set(0), true);
    (void)quiet;
    if (size > INT_MAX) return 0;
    const char* text = (const char*)data;
    size_t n = strnlen(text, size);
    if (n && _verdict(text, n, n) != _verdict(text, n, n / 2 + (data[0] % 7) % (n - n / 2 + 1)))
        abort();

    var v;
    int rc = json_decode(v, text, (int)size);
    // padded past the large-text size, the document is read with shared number objects
    std::string padded = std::string(text, n) + std::string(20000, ' ');
    var pv;
    if (json_decode(pv, padded.data(), (int)padded.size()) != rc) abort();
    if (rc != 0) return 0;
    std::string once = json_encode(v);
    if (json_encode(pv) != once) abort();
    var w;
    if (json_decode(w, once.data(), (int)once.size()) != 0) {
        if (_has_nonfinite(v)) return 0;
        abort();
    }
    std::string twice = json_encode(w);
    var x;
    if (json_decode(x, twice.data(), (int)twice.size()) != 0 || json_encode(x) != twice) abort();
    return 0;
}
