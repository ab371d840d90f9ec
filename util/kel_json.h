// kel_json: JSON text to `var` and back.
//
// json_decode reads one document whose top level is an array or an object (16 levels of
// nesting at most, /* comments */ allowed between tokens) into a list or dict; it stops at
// `length` bytes or the first NUL byte. It returns 0 on success and 1 on a syntax error,
// which is logged with the byte offset (also stored in *error_at when given: the offending
// byte, or the length when the text ended early; -1 on success); `out` may then hold the
// part read so far.
// Object members are kept by key order (dicts are ordered), a repeated key keeps the later
// value, strings end at their first NUL (from \u0000).
//
// json_encode writes any value, scalars included, without white space: numbers in their
// text form (3, 0.5), none and iterators as null, strings escaped up to their first NUL.
// NaN and infinities come out as nan and inf, which no JSON reader takes back.
//
//   var doc;
//   if (json_decode(doc, text.data(), (int)text.size()) == 0) use(doc["frames"]);
//   std::string s = json_encode(doc);
#ifndef KEL_JSON_H
#define KEL_JSON_H

#include <string>

#include "util/kel_var.h"

int json_decode(var& out, const char* text, int length, int* error_at = nullptr);
std::string json_encode(const var& value);

#endif
