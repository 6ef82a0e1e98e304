#pragma once
// One alarm picture as the run took it, for the alert channels: its number, its file name ("pic_12.jpg", as
// the mail names it), where it was to be saved (the file name inside the pictures folder) and the
// JPEG's bytes, encoded once for the file and the mail alike.

#include <cstdint>
#include <string>

struct AlarmPicture {
    std::int64_t number = 0;
    std::string fileName;
    std::string path;
    std::string jpegBytes;
    // Why the pictures folder refused the file ("No space left on device"); empty when it was saved.
    // A refused picture is mailed all the same: the mail may be the only copy.
    std::string saveError;
    // The contact sheet of the episode that led to it (saved beside it as "pic_N-story.jpg"), mailed
    // with it; empty when no frame was kept.
    std::string storyBytes;
    // Where its sheet and clip are (empty when none was made), and its event in the history (0: none).
    std::string storyPath, clipPath;
    std::int64_t event = 0;
    // The first picture of its alarm episode (from the alarm level rising above zero until it has
    // drained), its own number when it opens one.
    std::int64_t episode = 0;
    // Whether the mail takes it ("Send emails" on, and in face mode within the first pictures);
    // the other channels take every picture.
    bool mail = true;
};
