#pragma once
// STUB until the step's work lands: replaced by the real header at merge.
void requestTuneEnd(int signal) noexcept;
int tuneEndRequested() noexcept;
