#pragma once
// What a file carries beside its owner, group and mode: its access ACL and
// the user's own extended attributes. A save replaces the file by a new one,
// which must carry them too, or an ACL that let another user write the file
// would vanish with the save.

#include <string>

// Copies the access ACL and the user.* extended attributes of the file at
// from to the open file to. Attributes the file system of either does not
// support are left out. False with why set (the reason) on failure.
bool copyFileAttributes(const std::string& from, int to, std::string& why);
