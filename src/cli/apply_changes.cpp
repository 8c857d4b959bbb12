#include "cli/change_set.h"

// Placeholder until change application is built.
void applyChanges(ChangeSet&) {}
