#include "util/kel_web.h"

void kel_web_init() {}
void kel_web_deinit() {}
