#pragma once
// Writing a picture file. Pictures are evidence: one is never replaced, and never left empty or
// half written (a full disk, a crash): the bytes go to an unnamed or temporary file in the same
// folder first, and only a whole file gets the picture's name.

#include <string>

// Writes jpegBytes as the new file path; an existing file of that name is left as it is. Empty
// when saved, else the reason ("File exists", "No space left on device", ...).
std::string SavePicture(const std::string& path, const std::string& jpegBytes);
