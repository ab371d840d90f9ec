// kel_web: the HTTP service of the engine library, started and stopped by the host.
// (Placeholder: the service itself comes later; both calls do nothing yet.)
#ifndef KEL_WEB_H
#define KEL_WEB_H

void kel_web_init();
void kel_web_deinit();

#endif
