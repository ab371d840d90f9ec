// kel_json: JSON decoding into `var` through the push parser, and encoding from `var`.
#include "util/kel_json.h"

#include <locale.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "ext/json/JSON_parser.h"
#include "util/kel_log.h"

// ---- decoding ----

// An open container. Its members wait in the context's stacks until it closes, when the
// container is made in one go at its final size; a dict then sorts its keys once.
struct _json_frame {
    size_t vals, keys;  // where its members start in the value and key stacks
    bool is_list;
};

// Numbers and bools never change in place, so within one document a single object can
// serve every occurrence of a value: atlas descriptions repeat the same few coordinates and
// sizes thousands of times, and each saved object is an allocation and a free.
//
// The number table is made only for a large text, before the tree. Its block is big enough
// that glibc first merges its small free chunks, so the tree is then carved from contiguous
// memory rather than from chunks scattered by earlier frees; small texts, such as
// extension-call arguments, pay for neither. It has 1024 slots, 4096 from 256 KB on, where
// more distinct values turn up.
enum { _JSON_LARGE_TEXT = 16384, _JSON_HUGE_TEXT = 262144 };

struct _json_ctx {
    var* out;
    std::vector<_json_frame> stack;  // innermost last
    std::vector<var> vals;           // members of open containers; each container's own
                                     // slot in its parent comes just before its members
    std::vector<std::string> keys;   // keys of open objects' members, one may be pending
    var yes, no;                     // shared true and false
    struct num_slot {
        uint64_t bits;  // the value's bits, so a probe need not touch the object
        var obj;
    };
    std::unique_ptr<num_slot[]> nums;  // direct-mapped number objects, large texts only
    uint32_t nums_mask = 0;
};

static inline void _json_attach(_json_ctx* c, var&& v) { c->vals.push_back(std::move(v)); }

static void _json_open(_json_ctx* c, bool is_list) {
    c->vals.emplace_back();
    c->stack.push_back(_json_frame{c->vals.size(), c->keys.size(), is_list});
}

// Makes the innermost container from its members and puts it in its slot; the outermost
// goes to the output. An object's key without a value (input cut short) is dropped.
static void _json_close(_json_ctx* c) {
    _json_frame f = c->stack.back();
    c->stack.pop_back();
    size_t n = c->vals.size() - f.vals;
    var* first = c->vals.data() + f.vals;
    var made;
    if (f.is_list) {
        _var_list* l = new _var_list;
        made = var(static_cast<var_object*>(l));
        l->elements.assign(std::make_move_iterator(first), std::make_move_iterator(first + n));
    } else {
        _var_dict* d = new _var_dict;
        made = var(static_cast<var_object*>(d));
        dict_build(d, c->keys.data() + f.keys, first, n);
        c->keys.resize(f.keys);
    }
    c->vals.resize(f.vals);
    if (c->stack.empty()) {
        *c->out = std::move(made);
        c->vals.clear();
    } else {
        c->vals.back() = std::move(made);
    }
}

static var _json_number_value(_json_ctx* c, double d) {
    if (!c->nums) return var(d);
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    // small integers index by their low bits; other values by a multiplicative hash
    uint32_t h = d >= 0 && d <= (double)c->nums_mask && d == (double)(uint32_t)d
                     ? (uint32_t)d
                     : (uint32_t)((bits * 0x9E3779B97F4A7C15ull) >> 52);
    _json_ctx::num_slot& s = c->nums[h & c->nums_mask];
    if (!s.obj._o || s.bits != bits) {
        s.obj = var(d);
        s.bits = bits;
    }
    return s.obj;
}

// Bytes up to the first NUL.
static size_t _json_cut(const JSON_value* v) {
    if (!v->has_nul) return v->length;
    return (size_t)((const char*)memchr(v->str, 0, v->length) - v->str);
}

static int _json_callback(void* ctx, int type, const JSON_value* value) {
    _json_ctx* c = (_json_ctx*)ctx;
    switch (type) {
    case JSON_T_ARRAY_BEGIN:
    case JSON_T_OBJECT_BEGIN:
        _json_open(c, type == JSON_T_ARRAY_BEGIN);
        break;
    case JSON_T_ARRAY_END:
    case JSON_T_OBJECT_END:
        _json_close(c);
        break;
    case JSON_T_INTEGER:
    case JSON_T_FLOAT:
        _json_attach(c, _json_number_value(c, value->number));
        break;
    case JSON_T_NULL:
        _json_attach(c, var());
        break;
    case JSON_T_TRUE:
    case JSON_T_FALSE:
        if (type == JSON_T_TRUE) {
            if (!c->yes._o) c->yes = var(true);
            _json_attach(c, var(c->yes));
        } else {
            if (!c->no._o) c->no = var(false);
            _json_attach(c, var(c->no));
        }
        break;
    case JSON_T_STRING:
        _json_attach(c, var(value->str, _json_cut(value)));
        break;
    case JSON_T_KEY:
        c->keys.emplace_back(value->str, _json_cut(value));
        break;
    default:
        // the parser reports no other kind: this is a broken build, not bad input
        KEL_LOG("_json_callback", "unexpected token kind %d\n", type);
        abort();
    }
    return 1;
}

int json_decode(var& out, const char* text, int length, int* error_at) {
    if (error_at) *error_at = -1;
    size_t n = 0;
    if (text && length > 0) {
        const void* z = memchr(text, 0, (size_t)length);
        n = z ? (size_t)((const char*)z - text) : (size_t)length;
    }
    _json_ctx ctx;
    ctx.out = &out;
    ctx.stack.reserve(16);
    ctx.vals.reserve(64);
    ctx.keys.reserve(32);
    if (n >= _JSON_LARGE_TEXT) {
        ctx.nums_mask = n >= _JSON_HUGE_TEXT ? 4095 : 1023;
        ctx.nums.reset(new _json_ctx::num_slot[ctx.nums_mask + 1]);
    }
    JSON_config cfg;
    JSON_config_init(&cfg);
    cfg.depth = 16;
    cfg.allow_comments = 1;
    cfg.callback = _json_callback;
    cfg.callback_ctx = &ctx;
    JSON_parser p = JSON_parser_new(&cfg);
    if (!p) {
        KEL_LOG("json_decode", "out of memory\n");
        return 1;
    }
    int rc = 0;
    size_t used = n ? JSON_parser_feed(p, text, n) : 0;
    if (used < n) {
        KEL_LOG("json_decode", "JSON_parser_char: syntax error, byte %d\n", (int)used);
        if (error_at) *error_at = (int)used;
        rc = 1;
    } else if (!JSON_parser_end(p)) {
        KEL_LOG("json_decode", "JSON_parser_end: syntax error\n");
        if (error_at) *error_at = (int)n;
        rc = 1;
    }
    JSON_parser_free(p);
    while (!ctx.stack.empty()) _json_close(&ctx);  // a failed text leaves what it built
    return rc;
}

// ---- encoding ----

// Deeper values are written as null: only a value that holds itself gets there, and that
// would otherwise recurse until the stack runs out.
enum { _JSON_MAX_DEPTH = 1000 };

static char* _json_utoa(char* end, uint64_t u) {
    do {
        *--end = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    return end;
}

// round(frac * 10^6 / 2^f), ties to even, for frac < 2^f and frac < 2^53. The product
// needs up to 73 bits, kept as hi:lo: 32-bit targets have no 128-bit type.
static uint64_t _json_frac6(uint64_t frac, int f) {
    if (f >= 74) return 0;  // the product is below half of 2^f
    uint64_t l = (frac & 0xFFFFFFFFu) * 1000000u, h = (frac >> 32) * 1000000u;
    uint64_t lo = l + (h << 32), hi = (h >> 32) + (lo < l);
    uint64_t q, rem_hi = 0, rem_lo = lo, half_hi = 0, half_lo = 0;
    if (f >= 64) {
        q = hi >> (f - 64);
        rem_hi = hi & ((1ull << (f - 64)) - 1);
        if (f > 64) half_hi = 1ull << (f - 65);
        else half_lo = 1ull << 63;
    } else {
        q = (lo >> f) | (hi << (64 - f));
        rem_lo = lo & ((1ull << f) - 1);
        half_lo = 1ull << (f - 1);
    }
    bool above = rem_hi != half_hi ? rem_hi > half_hi : rem_lo > half_lo;
    bool tie = rem_hi == half_hi && rem_lo == half_lo;
    if (above || (tie && (q & 1))) q++;
    return q;
}

// The number's text form: integral values within 32 bits as integers, others as "%f" with
// trailing zeros trimmed down to one digit after the point.
static void _json_number(std::string& o, double d) {
    int32_t i;
    if (d != d) i = 0;
    else if (d >= 2147483647.0) i = INT32_MAX;
    else if (d <= -2147483648.0) i = INT32_MIN;
    else i = (int32_t)d;
    char tmp[32];
    char* end = tmp + sizeof tmp;
    if ((double)i == d) {
        char* s = _json_utoa(end, i < 0 ? (uint64_t)(-(int64_t)i) : (uint64_t)i);
        if (i < 0) *--s = '-';
        o.append(s, (size_t)(end - s));
        return;
    }
    // Exact "%f": d = mant * 2^e2; the fraction scaled by 10^6 and rounded half to even,
    // as the C library does. Large or non-finite values go to the C library itself.
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    int be = (int)((bits >> 52) & 0x7FF);
    uint64_t mant = bits & ((1ull << 52) - 1);
    int e2 = be ? be - 1075 : -1074;
    if (be) mant |= 1ull << 52;
    if (be == 0x7FF || e2 > 10) {
        char big[512];  // "%f" of the largest double is 316 bytes
        int n = snprintf(big, sizeof big, "%f", d);
        if (n < 0) return;
        // JSON wants '.', whatever decimal point the C locale prints
        const char* dp = localeconv()->decimal_point;
        size_t dl = dp ? strlen(dp) : 0;
        char* dot = NULL;
        if (dl && !(dp[0] == '.' && dl == 1)) {
            char* at = strstr(big, dp);
            if (at) {
                *at = '.';
                memmove(at + 1, at + dl, (size_t)n - (size_t)(at - big) - dl + 1);
                n -= (int)dl - 1;
                dot = at;
            }
        } else {
            dot = (char*)memchr(big, '.', (size_t)n);
        }
        if (dot) {
            while (n > (dot - big) + 2 && big[n - 1] == '0') n--;
        }
        o.append(big, (size_t)n);
        return;
    }
    uint64_t ip = 0, fp = 0;
    if (e2 >= 0) {
        ip = mant << e2;
    } else {
        int f = -e2;
        uint64_t frac = mant;
        if (f < 64) {
            ip = mant >> f;
            frac = mant & ((1ull << f) - 1);
        }
        fp = _json_frac6(frac, f);
        if (fp == 1000000u) {
            ip++;
            fp = 0;
        }
    }
    char* s = end;
    int digits = 6;
    while (digits > 1 && fp % 10 == 0) {
        fp /= 10;
        digits--;
    }
    for (int k = 0; k < digits; k++) {
        *--s = (char)('0' + fp % 10);
        fp /= 10;
    }
    *--s = '.';
    s = _json_utoa(s, ip);
    if (bits >> 63) *--s = '-';
    o.append(s, (size_t)(end - s));
}

// Bytes that need an escape: 1..31, '"' and '\\' (NUL ends the string before this).
static const char _json_esc[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
};

static void _json_string(std::string& o, const char* s, size_t n) {
    static const char hex[] = "0123456789abcdef";
    const unsigned char* u = (const unsigned char*)s;
    o.push_back('"');
    size_t run = 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = u[i];
        if (!_json_esc[c]) continue;
        o.append(s + run, i - run);
        run = i + 1;
        switch (c) {
        case 0: o.push_back('"'); return;
        case '\b': o.append("\\b", 2); break;
        case '\t': o.append("\\t", 2); break;
        case '\n': o.append("\\n", 2); break;
        case '\f': o.append("\\f", 2); break;
        case '\r': o.append("\\r", 2); break;
        case '"': o.append("\\\"", 2); break;
        case '\\': o.append("\\\\", 2); break;
        default: {
            char e[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            o.append(e, 6);
        }
        }
    }
    o.append(s + run, n - run);
    o.push_back('"');
}

static void _json_put(std::string& o, const var& v, int depth) {
    var_object* ob = v._o;
    if (!ob) {
        o.append("null", 4);
        return;
    }
    switch (ob->__type__()) {
    case 1:
        _json_number(o, static_cast<_var_number*>(ob)->value);
        return;
    case 2: {
        const std::string& s = static_cast<_var_string*>(ob)->value;
        _json_string(o, s.data(), s.size());
        return;
    }
    case 5:
        if (static_cast<_var_bool*>(ob)->value) o.append("true", 4);
        else o.append("false", 5);
        return;
    case 3:
    case 4:
        if (depth >= _JSON_MAX_DEPTH) {
            KEL_LOG("json_encode", "nesting deeper than %d, written as null\n", _JSON_MAX_DEPTH);
            o.append("null", 4);
            return;
        }
        break;
    default:
        o.append("null", 4);
        return;
    }
    if (ob->__type__() == 3) {
        const std::vector<var>& el = static_cast<_var_list*>(ob)->elements;
        o.push_back('[');
        for (size_t i = 0; i < el.size(); i++) {
            if (i + 1 < el.size()) __builtin_prefetch(el[i + 1]._o);
            if (i) o.push_back(',');
            _json_put(o, el[i], depth + 1);
        }
        o.push_back(']');
        return;
    }
    const _var_dict::map_type& m = static_cast<_var_dict*>(ob)->entries;
    o.push_back('{');
    // tree nodes and value objects lie apart in memory: fetch the next pair's ahead
    for (auto it = m.begin(), end = m.end(); it != end;) {
        auto next = it;
        ++next;
        if (next != end) __builtin_prefetch(next->second._o);
        if (it != m.begin()) o.push_back(',');
        _json_string(o, it->first.data(), it->first.size());
        o.push_back(':');
        _json_put(o, it->second, depth + 1);
        it = next;
    }
    o.push_back('}');
}

std::string json_encode(const var& value) {
    std::string o;
    o.reserve(64);
    _json_put(o, value, 0);
    return o;
}
