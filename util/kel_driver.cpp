#include "util/kel_driver.h"

// The switches live outside the driver state so they exist before driver_init.
static int _driver_verbose = 1;
static int _driver_flip = 0;

int driver_verbose_get() { return _driver_verbose; }
void driver_verbose_set(int on) { _driver_verbose = on; }
int driver_flip_get() { return _driver_flip; }
void driver_flip_set(int on) { _driver_flip = on; }
