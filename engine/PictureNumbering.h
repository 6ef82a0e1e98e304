#pragma once
// Picture files are evidence and are never overwritten: they are numbered on from the highest
// "pic_N.jpg" that was in the working directory when the program started.

#include <cstdint>
#include <filesystem>
#include <string>

// The highest N of the files named exactly "pic_N.jpg" in dir (N a positive decimal number that
// fits 64 bits; a longer one is no picture of ours); 0 when there is none or dir cannot be read.
// 64 bits, so numbers never wrap and a restart never overwrites a picture.
std::int64_t HighestPictureNumber(const std::filesystem::path& dir);

// "pic_N.jpg" for picture number N.
std::string PictureFileName(std::int64_t number);

// Writes jpegBytes as a new file fileName; an existing file is left as it is. Empty when saved,
// else the reason ("File exists", "No space left on device", ...).
std::string SavePicture(const std::string& fileName, const std::string& jpegBytes);
