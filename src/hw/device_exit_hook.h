#pragma once
// What runs when a device failure is about to end the process through exit:
// a run that has changed settings it means to give back (a tuning, which
// lowers voltages) gives them back first, and says whether it could. Only
// one such run exists at a time; null for none.

#include <string>

using DeviceExitHook = void (*)(const std::string& failure) noexcept;

// The hook; set and cleared by the run that needs it, called by the device
// code with the failure as err(3) words it ("ioctl(...) on PATH: REASON").
inline DeviceExitHook& deviceExitHook()
{
    static DeviceExitHook hook = nullptr;
    return hook;
}
