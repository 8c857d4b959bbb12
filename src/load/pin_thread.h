#pragma once
// The load's threads run one on each core: a thread the scheduler may move
// would leave a core idle (untested) and another tested twice, and a wrong
// answer would name the wrong core.

#include <cstdint>
#include <string>
#include <vector>

// Binds the calling thread to cpu alone. An empty string when it is bound,
// else what the system said, for the refusal.
std::string pinThisThread(std::int32_t cpu);

// The CPUs this process may run on, ascending: every core the system lets it
// load when no processor says which cores there are.
std::vector<std::int32_t> allowedCpus();
