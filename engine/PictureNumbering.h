#pragma once
// Picture files are evidence and are never overwritten: they are numbered on from the highest
// "pic_N.jpg" that was in the working directory when the program started.

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>

// The highest N of the files named exactly "pic_N.jpg" in dir (N a positive decimal number that
// fits an int); 0 when there is none or dir cannot be read.
int HighestPictureNumber(const std::filesystem::path& dir);

// "pic_N.jpg" for picture number N.
std::string PictureFileName(long long number);

// Saves image as a JPEG file; a failure is not reported.
void WritePicture(const std::string& fileName, const cv::Mat& image);
