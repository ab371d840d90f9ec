#include "src/ext_net/ext_net.h"

#include <string.h>

#include <map>
#include <vector>

#include "src/game/game.h"
#include "src/mods_lua/mods_base.h"
#include "util/kel_db.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"
#include "util/kel_web.h"

struct ExtNet {
    std::map<int, kel_web*> requests;
    int next_request;
    std::map<int, KelDatabase*> dbs;
    int next_db;
};

static ExtNet* _ext_net = nullptr;

void ext_net_init(Game* host) {
    (void)host;
    if (_ext_net) return;
    _ext_net = new ExtNet();
    _ext_net->next_request = 1;
    _ext_net->next_db = 1;
}

void ext_net_reset() {
    if (!_ext_net) return;
    for (auto& r : _ext_net->requests) kel_web_free(r.second);
    _ext_net->requests.clear();
    for (auto& d : _ext_net->dbs) delete d.second;
    _ext_net->dbs.clear();
}

void ext_net_deinit() {
    ext_net_reset();
    delete _ext_net;
    _ext_net = nullptr;
}

static std::string _ext_net_str(const var& args, const char* key, const char* def) {
    return args.type() == 4 && args.has(key) ? args[key].str() : std::string(def);
}

static int _ext_net_int(const var& args, const char* key, int def) {
    return args.type() == 4 && args.has(key) ? args[key].to_int() : def;
}

// The number on the status line ("HTTP/1.1 404 Not Found"), or 0.
static int _ext_net_status(const kel_web* r) {
    const char* p = r->response;
    int n = r->response_length;
    if (!p || n < 5 || memcmp(p, "HTTP/", 5) != 0) return 0;
    int i = 5;
    while (i < n && p[i] != ' ' && p[i] != '\n') i++;
    while (i < n && p[i] == ' ') i++;
    int status = 0, digits = 0;
    for (; i < n && digits < 3 && p[i] >= '0' && p[i] <= '9'; i++, digits++)
        status = status * 10 + (p[i] - '0');
    return digits == 3 ? status : 0;
}

static var _ext_net_event(int id, const kel_web* r) {
    var ev(4, 0);
    ev.set("type", var("http"));
    ev.set("id", var(id));
    ev.set("failed", var(r->failed != 0));
    ev.set("status", var(_ext_net_status(r)));
    ev.set("body", var(r->body ? r->body : "", (size_t)r->body_length));
    return ev;
}

void ext_net_poll(Game* host) {
    if (!_ext_net || _ext_net->requests.empty()) return;
    // Finished requests leave the table before the script runs: it may start or cancel
    // requests from its _event.
    std::vector<var> done;
    auto& reqs = _ext_net->requests;
    for (auto it = reqs.begin(); it != reqs.end();) {
        if (!_kel_web_poll(it->second)) {
            ++it;
            continue;
        }
        done.push_back(_ext_net_event(it->first, it->second));
        kel_web_free(it->second);
        it = reqs.erase(it);
    }
    for (const var& ev : done) {
        ModsBase* mod = host ? host->mod : nullptr;
        if (mod && mod->overrides(ModsBase::OP_EVENT)) mod->event_exact(ev);
    }
}

static var _ext_net_request(const var& args) {
    std::string host = _ext_net_str(args, "host", "");
    std::string path = _ext_net_str(args, "path", "/");
    std::string body = _ext_net_str(args, "body", "");
    int port = _ext_net_int(args, "port", 80);
    int timeout = _ext_net_int(args, "timeout", 10);
    kel_web* r = kel_web_create(host.c_str(), port, path.c_str(), body.data(), (int)body.size(),
                                timeout);
    r->body_max = _ext_net_int(args, "max_size", KEL_WEB_BODY_MAX);
    int id = _ext_net->next_request++;
    _ext_net->requests[id] = r;
    return var(id);
}

static var _ext_net_cancel(const var& args) {
    auto it = _ext_net->requests.find(_ext_net_int(args, "id", 0));
    if (it == _ext_net->requests.end()) return var(false);
    kel_web_free(it->second);
    _ext_net->requests.erase(it);
    return var(true);
}

static var _ext_net_db_open(const var& args) {
    std::string name = _ext_net_str(args, "name", "");
    bool readonly = args.type() == 4 && args.has("readonly") && args["readonly"].truth();
    // An empty path would open a private temporary database and report success.
    const char* path = name.empty() ? "" : driver_user_path(name.c_str());
    if (!path[0]) {
        KEL_LOG("ext_net_call", "db:open: no usable file name\n");
        return var(0);
    }
    KelDatabase* db = new KelDatabase();
    db->open(path, readonly ? KEL_DB_READONLY : KEL_DB_READWRITE);
    if (!db->db) {
        delete db;
        return var(0);
    }
    int h = _ext_net->next_db++;
    _ext_net->dbs[h] = db;
    return var(h);
}

static var _ext_net_db_query(const var& args) {
    var out(4, 0);
    auto it = _ext_net->dbs.find(_ext_net_int(args, "db", 0));
    if (it == _ext_net->dbs.end()) {
        out.set("rows", var(3, 0));
        out.set("failed", var(true));
        out.set("error", var("no such database"));
        return out;
    }
    KelDatabase* db = it->second;
    var params = args.type() == 4 && args.has("params") ? args["params"] : var(3, 0);
    std::string sql = _ext_net_str(args, "sql", "");
    out.set("rows", db->query(sql.c_str(), params));
    out.set("failed", var(db->failed != 0));
    out.set("error", var(db->failed ? db->error : std::string()));
    return out;
}

static var _ext_net_db_close(const var& args) {
    auto it = _ext_net->dbs.find(_ext_net_int(args, "db", 0));
    if (it == _ext_net->dbs.end()) return var(false);
    delete it->second;
    _ext_net->dbs.erase(it);
    return var(true);
}

var ext_net_call(Game* host, const std::string& name, var args) {
    (void)host;
    if (!_ext_net) return var();
    if (name == "http:request") return _ext_net_request(args);
    if (name == "http:cancel") return _ext_net_cancel(args);
    if (name == "db:open") return _ext_net_db_open(args);
    if (name == "db:query") return _ext_net_db_query(args);
    if (name == "db:close") return _ext_net_db_close(args);
    return var();
}
