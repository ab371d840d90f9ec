// mods_ext: the string-in, string-out extension call behind kel_ext_call.
//
// "open_url", "exit" and "md5_digest" are served here; every other name has its
// argument decoded as one JSON value and is offered to the extension handlers in
// order (transitions, miscellaneous, network). The first non-none result is returned as
// JSON; "null" when no handler knew the name. A name that is none of the known ones, and
// an argument that is not JSON, are each reported once on standard error (log_warn).
// An argument that does not decode whole is not acted on at all ("null"), nor is an
// "image:" argument longer than MODS_EXT_IMAGE_ARG_MAX bytes.
//
//   std::string r = mods_ext_call(api, "md5_digest", "abc");
#ifndef MODS_EXT_H
#define MODS_EXT_H

#include <string>

#include "util/kel_var.h"

enum { MODS_EXT_IMAGE_ARG_MAX = 65536 };

class ModsAPI;
struct Game;

// An extension handler: returns none for names it does not know.
typedef var (*mods_ext_handler_fn)(Game* host, const std::string& name, var arg);

std::string mods_ext_call(ModsAPI* api, const char* name, const char* arg);
// True for every name some part of kelgame serves.
bool mods_ext_known(const char* name);

#endif
