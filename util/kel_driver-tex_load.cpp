#include "util/kel_driver-tex_load.h"

// Placeholder bodies; the real ones land shortly.
uint32_t driver_tex_load(const char*, int*, int*, int*, int*) { return 0; }
uint32_t _driver_tex_load(const char*, int*, int*, int*, int*) { return 0; }
uint32_t _driver_tex_load_from_data(uint8_t*, int, int, int*, int*, int*, int*) { return 0; }
int _driver_tex_pad(int n) { return n; }
