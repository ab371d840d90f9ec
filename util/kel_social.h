// kel_social: who is signed in to the platform's social service.
//
// The platform layer reports sign-ins with social_login and sign-outs with
// social_logout; each change is announced as an Event of type 30 (signed in) or 31
// (signed out), all other fields zero, through the post hook (the game host's event
// entry). Nothing is posted while no hook is set.
//
//   social_post_set(game_post);
//   social_login("ann", "u-17", "");   // posts 30 once, however often repeated
#ifndef KEL_SOCIAL_H
#define KEL_SOCIAL_H

#include <string>
#include <vector>

#include "util/kel_driver-input.h"

enum { SOCIAL_EVT_LOGIN = 30, SOCIAL_EVT_LOGOUT = 31 };

typedef void (*social_post_fn)(Event e);
void social_post_set(social_post_fn post);

void social_init();
// A null text signs the current player out.
void social_login(const char* name, const char* uuid, const char* extra);
void social_logout();
// "name:uuid" of the signed-in player, "" when signed out.
std::string social_identity();
int social_ready();
void social_update();
std::vector<std::string> social_list();

#endif
