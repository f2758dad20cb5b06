// The node password check that guards every request but the description.
#pragma once

// 1 when the request may go on: no password configured, or the password given
// in the X-Bot-Password header, as an (optionally "Bearer ") Authorization
// value, or as the "pwd" query parameter. Null arguments count as absent.
int access_allowed(const char *password, const char *x_bot_password, const char *authorization,
                   const char *query);

// Checks the request from the environment; on refusal writes the 401 reply and
// answers 0.
int check_access();
