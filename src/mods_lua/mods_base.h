// mods_base: the abstract script interface the game host drives.
//
// A mod implements what it needs; the rest keep the defaults below. Callers skip an
// operation that is still the default:
//
//   if (mod->overrides(ModsBase::OP_LOOP)) mod->loop(dt);
#ifndef MODS_BASE_H
#define MODS_BASE_H

#include <string>

#include "util/kel_var.h"

class ModsBase {
  public:
    enum {
        OP_INIT = 1 << 0,
        OP_LOOP = 1 << 1,
        OP_EVENT = 1 << 2,
        OP_PAINT = 1 << 3,
        OP_SCRIPT = 1 << 4,
        OP_CALL = 1 << 5,
        OP_IS_OKAY = 1 << 6,
    };

    virtual void init() {}
    virtual void loop(float dt) { (void)dt; }
    virtual void event(var ev) { (void)ev; }
    // The same call, with the dict built as a table key by key and value by value, so
    // any key, nested list or string reaches the script as itself (response bodies,
    // widget values); counts as OP_EVENT.
    virtual void event_exact(var ev) { event(ev); }
    virtual void paint() {}
    virtual void script(const char* source, const char* chunk_name) {
        (void)source;
        (void)chunk_name;
    }
    virtual std::string call(std::string function, std::string argument) {
        (void)function;
        (void)argument;
        return std::string();
    }
    virtual bool is_okay() { return true; }
    // Bytes the script's heap holds (0 where unknown).
    virtual long heap_bytes() { return 0; }
    virtual ~ModsBase() {}

    // Bit set of OP_* a subclass really implements; the base implements none.
    virtual int override_mask() const { return 0; }
    bool overrides(int op) const { return (override_mask() & op) != 0; }
};

#endif
