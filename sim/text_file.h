#pragma once
// Whole-file reading and saving for machine files, reporting failures as text
// for the user instead of ending the process.

#include <string>

// Reads a whole file. False with error "cannot read FILE: reason" on failure.
bool readTextFile(const std::string& path, std::string& text, std::string& error);

// Replaces the file's content with text as one step: written beside it under a
// temporary name and renamed over it, so that a process killed while saving
// leaves either the old or the new file, never half of one. The file keeps its
// permissions; a file that is not writable is not replaced, and through a
// symbolic link the file it names is. False with error set on failure.
bool replaceFileContent(const std::string& path, const std::string& text, std::string& error);
