// JSON_parser: push parser state machine. See JSON_parser.h.
//
// Two levels of state: the grammar state says what may come next (a value, a key, a colon,
// a comma or closing bracket), the lexical mode says whether a token or comment is half read.
// A number ends at the first byte that cannot continue it; that byte is then read again in
// the grammar state, so no lookahead is kept.
#include "ext/json/JSON_parser.h"

#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum {
    G_START,         // before the top-level array or object
    G_VALUE,         // after ',' in an array or ':' in an object
    G_ARRAY_FIRST,   // after '[': a value or ']'
    G_OBJECT_FIRST,  // after '{': a key or '}'
    G_KEY,           // after ',' in an object
    G_COLON,         // after a key
    G_AFTER,         // after a value: ',' or the matching closing bracket
    G_DONE           // after the top-level value: only white space and comments
};

enum {
    L_NONE,
    L_STRING,
    L_ESC,           // after a backslash
    L_HEX,           // inside the four digits of \u
    L_SURR_BS,       // after a high surrogate: a '\' may start its low half
    L_SURR_U,        // after a high surrogate and '\': 'u' continues the pair
    L_NUMBER,
    L_LITERAL,       // inside true, false or null
    L_SLASH,         // after '/': must be '*'
    L_COMMENT,
    L_COMMENT_STAR   // inside a comment after '*'
};

enum { N_MINUS, N_ZERO, N_INT, N_DOT, N_FRAC, N_E, N_ESIGN, N_EXP };

struct JSON_parser_struct {
    JSON_parser_callback cb;
    void* ctx;
    int allow_comments;
    int limit;       // most open containers, 0: none
    int failed;
    int gstate;
    int lex;
    int nsub;        // number sub-state
    int is_float;
    int is_key;
    int has_nul;     // the string holds a \u0000
    int hexn;
    unsigned hexv;
    unsigned high;   // pending high surrogate, 0 when none
    const char* lit; // literal being matched and the position in it
    int litpos;
    int littype;
    char* stack;     // '[' or '{' per open container
    int top;
    int stack_cap;
    char* buf;       // bytes of the current string or number
    size_t len;
    size_t cap;
};

void JSON_config_init(JSON_config* config) {
    memset(config, 0, sizeof *config);
    config->depth = 16;
    config->allow_comments = 1;
}

JSON_parser JSON_parser_new(const JSON_config* config) {
    JSON_parser p = (JSON_parser)calloc(1, sizeof *p);
    if (!p) return NULL;
    p->cb = config->callback;
    p->ctx = config->callback_ctx;
    p->allow_comments = config->allow_comments;
    p->limit = config->depth > 0 ? config->depth : 0;
    p->stack_cap = p->limit ? p->limit : 32;
    p->stack = (char*)malloc((size_t)p->stack_cap);
    p->cap = 128;
    p->buf = (char*)malloc(p->cap);
    if (!p->stack || !p->buf) {
        JSON_parser_free(p);
        return NULL;
    }
    p->gstate = G_START;
    p->lex = L_NONE;
    return p;
}

void JSON_parser_free(JSON_parser p) {
    if (!p) return;
    free(p->stack);
    free(p->buf);
    free(p);
}

// Room for `more` bytes plus a terminating NUL.
static int _JSON_reserve(JSON_parser p, size_t more) {
    if (p->len + more < p->cap) return 1;
    size_t cap = p->cap * 2;
    while (cap <= p->len + more) cap *= 2;
    char* b = (char*)realloc(p->buf, cap);
    if (!b) return 0;
    p->buf = b;
    p->cap = cap;
    return 1;
}

static inline int _JSON_put(JSON_parser p, char c) {
    if (p->len + 1 >= p->cap && !_JSON_reserve(p, 1)) return 0;
    p->buf[p->len++] = c;
    return 1;
}

static int _JSON_utf8(JSON_parser p, unsigned cp) {
    if (!_JSON_reserve(p, 4)) return 0;
    char* o = p->buf + p->len;
    if (cp < 0x80) {
        o[0] = (char)cp;
        p->len += 1;
    } else if (cp < 0x800) {
        o[0] = (char)(0xC0 | (cp >> 6));
        o[1] = (char)(0x80 | (cp & 0x3F));
        p->len += 2;
    } else if (cp < 0x10000) {
        o[0] = (char)(0xE0 | (cp >> 12));
        o[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        o[2] = (char)(0x80 | (cp & 0x3F));
        p->len += 3;
    } else {
        o[0] = (char)(0xF0 | (cp >> 18));
        o[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
        o[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
        o[3] = (char)(0x80 | (cp & 0x3F));
        p->len += 4;
    }
    return 1;
}

static int _JSON_emit(JSON_parser p, int type, const JSON_value* v) {
    return p->cb ? p->cb(p->ctx, type, v) : 1;
}

static int _JSON_emit_plain(JSON_parser p, int type) {
    JSON_value v = {0.0, NULL, 0, 0};
    return _JSON_emit(p, type, &v);
}

static const double _JSON_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// strtod in the C locale's sense: the '.' becomes the current decimal point first. The copy
// also gives strtod a terminated text that ends where the token does.
static double _JSON_strtod(const char* s, size_t len) {
    const char* dp = localeconv()->decimal_point;
    size_t dl = dp && *dp ? strlen(dp) : 1;
    char small[128];
    size_t need = len + dl + 1;
    char* t = need <= sizeof small ? small : (char*)malloc(need);
    if (!t) return 0.0;
    size_t k = 0;
    for (size_t i = 0; i < len; i++) {
        if (s[i] == '.' && dp && *dp) {
            memcpy(t + k, dp, dl);
            k += dl;
        } else {
            t[k++] = s[i];
        }
    }
    t[k] = 0;
    double d = strtod(t, NULL);
    if (t != small) free(t);
    return d;
}

// The value of a number token (grammar already checked). Short integers, and floats whose
// digits and exponent are small, are exact in one IEEE operation, which gives the same
// correctly rounded result strtod would; everything else goes to strtod.
static double _JSON_number(const char* s, size_t len, int is_float) {
    const char* end = s + len;
    const char* text = s;
    int neg = *s == '-';
    if (neg) s++;
    uint64_t m = 0;
    int nd = 0;      // significant digits taken into m
    int scale = 0;   // power of ten to apply to m
    int big = 0;     // more digits than m can hold
    for (; s < end && *s >= '0' && *s <= '9'; s++) {
        if (nd < 19) {
            m = m * 10 + (uint64_t)(*s - '0');
            if (m) nd++;
        } else {
            big = 1;
            scale++;
        }
    }
    if (!is_float) {
        if (!big) return neg ? -(double)m : (double)m;
        return _JSON_strtod(text, len);
    }
    if (s < end && *s == '.') {
        for (s++; s < end && *s >= '0' && *s <= '9'; s++) {
            if (nd < 19) {
                m = m * 10 + (uint64_t)(*s - '0');
                if (m) nd++;
                scale--;
            } else {
                big = 1;
            }
        }
    }
    if (s < end && (*s == 'e' || *s == 'E')) {
        s++;
        int eneg = 0;
        if (*s == '-' || *s == '+') eneg = *s++ == '-';
        int e = 0;
        for (; s < end; s++)
            if (e < 100000) e = e * 10 + (*s - '0');
        scale += eneg ? -e : e;
    }
    if (!big && m <= (1ull << 53)) {
        double d = (double)m;
        if (m == 0) return neg ? -0.0 : 0.0;
        if (scale >= 0 && scale <= 22) {
            d *= _JSON_pow10[scale];
            return neg ? -d : d;
        }
        if (scale < 0 && scale >= -22) {
            d /= _JSON_pow10[-scale];
            return neg ? -d : d;
        }
    }
    return _JSON_strtod(text, len);
}

// Number grammar, one byte after the first: 1 the byte continues the number, 0 it ends a
// complete number, -1 the number cannot end or continue with it.
static inline int _JSON_num_step(int* nsub, int* is_float, unsigned c) {
    int digit = c >= '0' && c <= '9';
    int e = c == 'e' || c == 'E';
    switch (*nsub) {
    case N_MINUS:
        if (!digit) return -1;
        *nsub = c == '0' ? N_ZERO : N_INT;
        return 1;
    case N_ZERO:
    case N_INT:
        if (digit) {
            if (*nsub == N_ZERO) return -1;  // leading zero
            return 1;
        }
        if (c == '.') *nsub = N_DOT;
        else if (e) *nsub = N_E;
        else return 0;
        *is_float = 1;
        return 1;
    case N_DOT:
        if (!digit) return -1;
        *nsub = N_FRAC;
        return 1;
    case N_FRAC:
        if (digit) return 1;
        if (!e) return 0;
        *nsub = N_E;
        return 1;
    case N_E:
        if (c == '+' || c == '-') {
            *nsub = N_ESIGN;
            return 1;
        }
        /* fall through */
    case N_ESIGN:
        if (!digit) return -1;
        *nsub = N_EXP;
        return 1;
    default:  // N_EXP
        return digit ? 1 : 0;
    }
}

static int _JSON_push(JSON_parser p, char kind) {
    if (p->limit && p->top >= p->limit) return 0;
    if (p->top >= p->stack_cap) {
        char* st = (char*)realloc(p->stack, (size_t)p->stack_cap * 2);
        if (!st) return 0;
        p->stack = st;
        p->stack_cap *= 2;
    }
    p->stack[p->top++] = kind;
    if (!_JSON_emit_plain(p, kind == '[' ? JSON_T_ARRAY_BEGIN : JSON_T_OBJECT_BEGIN)) return 0;
    p->gstate = kind == '[' ? G_ARRAY_FIRST : G_OBJECT_FIRST;
    return 1;
}

static int _JSON_pop(JSON_parser p, char kind) {
    if (!p->top || p->stack[p->top - 1] != kind) return 0;
    p->top--;
    p->gstate = p->top ? G_AFTER : G_DONE;
    return _JSON_emit_plain(p, kind == '[' ? JSON_T_ARRAY_END : JSON_T_OBJECT_END);
}

static inline void _JSON_begin_string(JSON_parser p, int is_key) {
    p->lex = L_STRING;
    p->is_key = is_key;
    p->has_nul = 0;
    p->len = 0;
}

// A value starts with c; 0 when c cannot start one.
static int _JSON_value_start(JSON_parser p, unsigned c) {
    switch (c) {
    case '[': return _JSON_push(p, '[');
    case '{': return _JSON_push(p, '{');
    case '"': _JSON_begin_string(p, 0); return 1;
    case 't': p->lit = "true"; p->littype = JSON_T_TRUE; break;
    case 'f': p->lit = "false"; p->littype = JSON_T_FALSE; break;
    case 'n': p->lit = "null"; p->littype = JSON_T_NULL; break;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
        p->lex = L_NUMBER;
        p->is_float = 0;
        p->nsub = c == '-' ? N_MINUS : c == '0' ? N_ZERO : N_INT;
        p->buf[0] = (char)c;
        p->len = 1;
        return 1;
    default: return 0;
    }
    p->lex = L_LITERAL;
    p->litpos = 1;
    return 1;
}

// One byte in the grammar state (no token open); white space is handled by the caller.
static int _JSON_grammar(JSON_parser p, unsigned c) {
    if (c == '/') {
        if (!p->allow_comments) return 0;
        p->lex = L_SLASH;
        return 1;
    }
    switch (p->gstate) {
    case G_START:
        if (c == '[') return _JSON_push(p, '[');
        if (c == '{') return _JSON_push(p, '{');
        return 0;
    case G_ARRAY_FIRST:
        if (c == ']') return _JSON_pop(p, '[');
        return _JSON_value_start(p, c);
    case G_VALUE:
        return _JSON_value_start(p, c);
    case G_OBJECT_FIRST:
        if (c == '}') return _JSON_pop(p, '{');
        /* fall through */
    case G_KEY:
        if (c != '"') return 0;
        _JSON_begin_string(p, 1);
        return 1;
    case G_COLON:
        if (c != ':') return 0;
        p->gstate = G_VALUE;
        return 1;
    case G_AFTER:
        if (c == ',') {
            p->gstate = p->stack[p->top - 1] == '[' ? G_VALUE : G_KEY;
            return 1;
        }
        if (c == ']') return _JSON_pop(p, '[');
        if (c == '}') return _JSON_pop(p, '{');
        return 0;
    default:  // G_DONE
        return 0;
    }
}

static int _JSON_end_string(JSON_parser p) {
    p->buf[p->len] = 0;
    JSON_value v = {0.0, p->buf, p->len, p->has_nul};
    p->lex = L_NONE;
    p->gstate = p->is_key ? G_COLON : G_AFTER;
    return _JSON_emit(p, p->is_key ? JSON_T_KEY : JSON_T_STRING, &v);
}

static int _JSON_end_number(JSON_parser p) {
    JSON_value v = {_JSON_number(p->buf, p->len, p->is_float), NULL, 0, 0};
    p->lex = L_NONE;
    p->gstate = G_AFTER;
    return _JSON_emit(p, p->is_float ? JSON_T_FLOAT : JSON_T_INTEGER, &v);
}

// A complete \u code unit; pairs a pending high surrogate with a low one.
static int _JSON_code_unit(JSON_parser p, unsigned cu) {
    if (p->high) {
        unsigned hi = p->high;
        p->high = 0;
        if (cu >= 0xDC00 && cu <= 0xDFFF) {
            p->lex = L_STRING;
            return _JSON_utf8(p, 0x10000 + ((hi - 0xD800) << 10) + (cu - 0xDC00));
        }
        if (!_JSON_utf8(p, hi)) return 0;
    }
    if (cu >= 0xD800 && cu <= 0xDBFF) {
        p->high = cu;
        p->lex = L_SURR_BS;
        return 1;
    }
    p->lex = L_STRING;
    if (cu == 0) p->has_nul = 1;
    return _JSON_utf8(p, cu);
}

static inline int _JSON_hex(unsigned c) {
    if (c >= '0' && c <= '9') return (int)(c - '0');
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return (int)(c - 'a' + 10);
    return -1;
}

// Bytes that stop the plain run of a string: '"', '\\' and everything below 0x20.
static const unsigned char _JSON_stop[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
};

static inline int _JSON_ws(unsigned c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Between tokens: reads whole tokens that lie inside the buffer straight from it, without
// copying or stepping the lexical state; anything cut by the buffer's end, and strings with
// escapes, go to the byte-wise states. Returns the new position, or n + 1 on an error at *err.
static size_t _JSON_tokens(JSON_parser p, const unsigned char* u, size_t i, size_t n,
                           size_t* err) {
    const char* s = (const char*)u;
    for (;;) {
        while (i < n && _JSON_ws(u[i])) i++;
        if (i == n) return n;
        unsigned c = u[i];
        int g = p->gstate;
        int value = g == G_VALUE || g == G_ARRAY_FIRST;
        if (c == '"' && (value || g == G_OBJECT_FIRST || g == G_KEY)) {
            size_t j = i + 1;
            while (j < n && !_JSON_stop[u[j]]) j++;
            if (j < n && u[j] == '"') {
                JSON_value v = {0.0, s + i + 1, j - i - 1, 0};
                p->gstate = value ? G_AFTER : G_COLON;
                if (!_JSON_emit(p, value ? JSON_T_STRING : JSON_T_KEY, &v)) {
                    *err = j;
                    return n + 1;
                }
                i = j + 1;
                continue;
            }
        } else if (value && (c == '-' || (c >= '0' && c <= '9'))) {
            int ns = c == '-' ? N_MINUS : c == '0' ? N_ZERO : N_INT, fl = 0, r = 1;
            size_t j = i + 1;
            while (j < n && (r = _JSON_num_step(&ns, &fl, u[j])) > 0) j++;
            if (j < n && r == 0) {
                JSON_value v = {_JSON_number(s + i, j - i, fl), NULL, 0, 0};
                p->gstate = G_AFTER;
                if (!_JSON_emit(p, fl ? JSON_T_FLOAT : JSON_T_INTEGER, &v)) {
                    *err = j;
                    return n + 1;
                }
                i = j;
                continue;
            }
        } else if (value && (c == 't' || c == 'f' || c == 'n')) {
            const char* lit = c == 't' ? "true" : c == 'f' ? "false" : "null";
            size_t len = c == 'f' ? 5 : 4;
            if (n - i >= len && memcmp(s + i, lit, len) == 0) {
                p->gstate = G_AFTER;
                if (!_JSON_emit_plain(p, c == 't' ? JSON_T_TRUE : c == 'f' ? JSON_T_FALSE
                                                                       : JSON_T_NULL)) {
                    *err = i + len - 1;
                    return n + 1;
                }
                i += len;
                continue;
            }
        }
        // structure, or a token the byte-wise states must finish
        if (!_JSON_grammar(p, c)) {
            *err = i;
            return n + 1;
        }
        i++;
        if (p->lex != L_NONE) return i;
    }
}

size_t JSON_parser_feed(JSON_parser p, const char* s, size_t n) {
    if (p->failed) return 0;
    const unsigned char* u = (const unsigned char*)s;
    size_t i = 0;
    while (i < n) {
        unsigned c = u[i];
        switch (p->lex) {
        case L_NONE: {
            size_t err = 0;
            i = _JSON_tokens(p, u, i, n, &err);
            if (i > n) {
                i = err;
                goto fail;
            }
            continue;
        }
        case L_STRING: {
            size_t j = i;
            while (j < n && !_JSON_stop[u[j]]) j++;
            if (j > i) {
                if (!_JSON_reserve(p, j - i)) goto fail;
                memcpy(p->buf + p->len, s + i, j - i);
                p->len += j - i;
                i = j;
                if (i == n) continue;
                c = u[i];
            }
            if (c == '"') {
                if (!_JSON_end_string(p)) goto fail;
            } else if (c == '\\') {
                p->lex = L_ESC;
            } else {
                goto fail;
            }
            break;
        }
        case L_ESC: {
            char e;
            switch (c) {
            case '"': e = '"'; break;
            case '\\': e = '\\'; break;
            case '/': e = '/'; break;
            case 'b': e = '\b'; break;
            case 'f': e = '\f'; break;
            case 'n': e = '\n'; break;
            case 'r': e = '\r'; break;
            case 't': e = '\t'; break;
            case 'u':
                p->lex = L_HEX;
                p->hexn = 0;
                p->hexv = 0;
                i++;
                continue;
            default: goto fail;
            }
            if (!_JSON_put(p, e)) goto fail;
            p->lex = L_STRING;
            break;
        }
        case L_HEX: {
            int d = _JSON_hex(c);
            if (d < 0) goto fail;
            p->hexv = p->hexv * 16 + (unsigned)d;
            if (++p->hexn == 4 && !_JSON_code_unit(p, p->hexv)) goto fail;
            break;
        }
        case L_SURR_BS:
            if (c == '\\') {
                p->lex = L_SURR_U;
                break;
            }
            // a lone high surrogate: keep its three-byte form, read c as string content
            if (!_JSON_utf8(p, p->high)) goto fail;
            p->high = 0;
            p->lex = L_STRING;
            continue;
        case L_SURR_U:
            if (c == 'u') {
                p->lex = L_HEX;
                p->hexn = 0;
                p->hexv = 0;
                break;
            }
            if (!_JSON_utf8(p, p->high)) goto fail;
            p->high = 0;
            p->lex = L_ESC;
            continue;
        case L_NUMBER: {
            int r = _JSON_num_step(&p->nsub, &p->is_float, c);
            if (r < 0) goto fail;
            if (r == 0) {
                // c ends the number and is read again as grammar
                if (!_JSON_end_number(p)) goto fail;
                continue;
            }
            if (!_JSON_put(p, (char)c)) goto fail;
            break;
        }
        case L_LITERAL:
            if (c != (unsigned char)p->lit[p->litpos]) goto fail;
            if (p->lit[++p->litpos] == 0) {
                p->lex = L_NONE;
                p->gstate = G_AFTER;
                if (!_JSON_emit_plain(p, p->littype)) goto fail;
            }
            break;
        case L_SLASH:
            if (c != '*') goto fail;
            p->lex = L_COMMENT;
            break;
        case L_COMMENT: {
            const void* star = memchr(s + i, '*', n - i);
            if (!star) return n;
            i = (size_t)((const char*)star - s);
            p->lex = L_COMMENT_STAR;
            break;
        }
        case L_COMMENT_STAR:
            if (c == '/') p->lex = L_NONE;
            else if (c != '*') p->lex = L_COMMENT;
            break;
        }
        i++;
    }
    return n;
fail:
    p->failed = 1;
    return i;
}

int JSON_parser_char(JSON_parser p, int c) {
    char b = (char)c;
    return JSON_parser_feed(p, &b, 1) == 1;
}

int JSON_parser_end(JSON_parser p) {
    return !p->failed && p->gstate == G_DONE && p->lex == L_NONE;
}
