#pragma once
// The load that tuning runs on every CPU at once while it holds a P-state at a
// lowered voltage: work whose answers show a core that computes wrongly. Like
// the device accessors it is chosen at link time, with no interface class:
// pravellon links the load that runs on the cores, pravellon-sim one that
// answers as the emulated machine's stability says, so that a whole tuning,
// hangs included, runs in a test in seconds.

#include <chrono>
#include <cstdint>
#include <vector>

// Works out the answers that every later run of the load is compared with,
// on the CPUs given, at settings known to be good (before the first step).
void prepareLoad(const std::vector<std::int32_t>& cpus);

// Starts the load on each of the CPUs at once, one worker held on each. The
// workers take no signals: a signal reaches the thread that tunes, which
// stops them before the process ends.
void startLoad(const std::vector<std::int32_t>& cpus);

// Stops the load and waits for its workers; the CPUs whose load computed an
// answer that differs from its reference, ascending (empty: every answer was
// right). Nothing is running afterwards, whatever it returns.
std::vector<std::int32_t> stopLoad();

// Has the load's workers stop after their current iteration, so that a step
// ends at once; safe in a signal handler.
void haltLoad() noexcept;

// Whether the load has stopped on its own since it started: a worker computed
// a wrong answer, or haltLoad was called.
bool loadHalted() noexcept;

// The pause between two looks at a processor that must keep still, while the
// tuning checks that nothing but itself moves its P-states. The emulated
// machine has no time of its own, so there it returns at once.
void watchingPause(std::chrono::milliseconds pause);
