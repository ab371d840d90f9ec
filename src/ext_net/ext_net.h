// ext_net: the extension names "http:request", "http:cancel", "db:open", "db:query"
// and "db:close".
//
// Requests are kel_web records keyed by a request id; the host polls every open one
// once per frame (ext_net_poll) and hands each finished one to the script's _event as
// {type="http", id=, failed=, status=, body=}. Databases are KelDatabase objects keyed
// by a handle. ext_net_reset frees both (restart); ext_net_deinit also ends the unit.
#ifndef EXT_NET_H
#define EXT_NET_H

#include <string>

#include "util/kel_var.h"

struct Game;

void ext_net_init(Game* host);
void ext_net_deinit();
void ext_net_reset();
void ext_net_poll(Game* host);
var ext_net_call(Game* host, const std::string& name, var args);

#endif
