#include "hotsync/memory_policy.h"

// The Windows heap takes no such setting; large pages there need a privilege
// a user does not have.
void memory_policy_start(char**) {}
