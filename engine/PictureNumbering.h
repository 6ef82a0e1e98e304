#pragma once
// Picture files are evidence and are never overwritten: they are numbered on from the highest
// "pic_N.jpg" in the pictures folder, and a number already taken there is skipped.

#include <cstdint>
#include <filesystem>
#include <string>

// The highest N of the files named exactly "pic_N.jpg" in dir (N a positive decimal number that
// fits 64 bits; a longer one is no picture of ours); 0 when there is none or dir cannot be read.
std::int64_t HighestPictureNumber(const std::filesystem::path& dir);

// The number for the next picture: the first N above after with no "pic_N.jpg" in dir; when every
// number above after is taken (a stray pic_9223372036854775807.jpg), the lowest free one from 1.
// Never wraps. A folder that cannot be read counts as empty.
std::int64_t NextFreePictureNumber(const std::filesystem::path& dir, std::int64_t after);

// "pic_N.jpg" for picture number N.
std::string PictureFileName(std::int64_t number);
