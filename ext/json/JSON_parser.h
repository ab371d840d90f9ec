// JSON_parser: a push parser for JSON text, fed a byte or a buffer at a time.
//
// It keeps its own state between calls, so text may arrive in pieces of any size, and it
// reports each complete token to a callback; it builds nothing itself. Accepted: one array
// or object at the top level with white space around it, C block comments wherever white
// space may stand (when allowed), the standard escapes and \uXXXX (surrogate pairs become one
// four-byte UTF-8 sequence), standard numbers. Raw bytes below 0x20 inside strings are
// errors; bytes 0x80 and above pass unchanged. Once a byte is rejected the parser stays
// failed.
//
//   JSON_config cfg;
//   JSON_config_init(&cfg);
//   cfg.callback = my_cb; cfg.callback_ctx = &ctx; cfg.depth = 16; cfg.allow_comments = 1;
//   JSON_parser p = JSON_parser_new(&cfg);
//   size_t used = JSON_parser_feed(p, text, n);   // n when all accepted, else the bad offset
//   int ok = used == n && JSON_parser_end(p);
//   JSON_parser_free(p);
#ifndef JSON_PARSER_H
#define JSON_PARSER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    JSON_T_NONE = 0,
    JSON_T_ARRAY_BEGIN,
    JSON_T_ARRAY_END,
    JSON_T_OBJECT_BEGIN,
    JSON_T_OBJECT_END,
    JSON_T_INTEGER,
    JSON_T_FLOAT,
    JSON_T_NULL,
    JSON_T_TRUE,
    JSON_T_FALSE,
    JSON_T_STRING,
    JSON_T_KEY,
    JSON_T_MAX
} JSON_type;

// Token payload: numbers as doubles (integers exact up to 2^53), strings and keys as decoded
// bytes, `length` of them, not terminated (they may point into the caller's text); has_nul
// tells that a \u0000 put a NUL among them. The bytes are valid only during the callback.
typedef struct JSON_value {
    double number;
    const char* str;
    size_t length;
    int has_nul;
} JSON_value;

// Return nonzero to go on; zero makes the parser reject the byte that completed the token.
typedef int (*JSON_parser_callback)(void* ctx, int type, const JSON_value* value);

typedef struct JSON_config {
    JSON_parser_callback callback;  // may be null: the parser then only checks syntax
    void* callback_ctx;
    int depth;           // most nested arrays and objects; 0 or less: no limit
    int allow_comments;  // accept /* ... */ between tokens
} JSON_config;

typedef struct JSON_parser_struct* JSON_parser;

void JSON_config_init(JSON_config* config);

// Null when out of memory.
JSON_parser JSON_parser_new(const JSON_config* config);
void JSON_parser_free(JSON_parser p);

// One byte: 1 when accepted, 0 when rejected.
int JSON_parser_char(JSON_parser p, int c);

// A buffer: the number of bytes accepted; less than n means byte [result] was rejected.
size_t JSON_parser_feed(JSON_parser p, const char* s, size_t n);

// End of input: 1 when a whole document has been read, 0 when it is unfinished or failed.
int JSON_parser_end(JSON_parser p);

#ifdef __cplusplus
}
#endif

#endif
