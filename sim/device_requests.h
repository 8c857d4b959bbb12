#pragma once
// What the emulated kernel checks of a call before it looks at the machine:
// which paths are its devices, which requests belong to which device, and what
// the pci driver refuses in a record. None of it depends on the machine's
// registers, so it stands apart from the devices that answer.

#include <string>

bool isCpuctlPath(const std::string& path);

// Whether open's optional third argument is there to be read.
bool takesMode(int flags);

bool isDeviceRequest(unsigned long request);

bool belongsTo(const std::string& path, unsigned long request);

// What the pci driver refuses in a record, or nullptr.
const char* badPciRecord(const void* record);
