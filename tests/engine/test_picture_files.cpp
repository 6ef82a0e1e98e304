// Picture names and files: the next free number never wraps (a stray pic_9223372036854775807.jpg in
// the folder), and a picture file is never replaced, nor left empty or partial when the save fails.
#include "engine/PictureFile.h"
#include "engine/PictureNumbering.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <limits>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(PictureNumbering, TheNextFreeNumberNeverWraps)
{
    const struct { std::vector<std::string> files; std::int64_t after, next; } rows[] = {
        {{}, 0, 1},
        {{"pic_1.jpg", "pic_2.jpg", "pic_4.jpg"}, 0, 3},   // the taken ones skipped
        {{"pic_1.jpg", "pic_2.jpg"}, 7, 8},                  // on from where the run was
        {{"pic_9223372036854775807.jpg"}, 0, 1},              // the highest taken: from the lowest free
        {{"pic_9223372036854775807.jpg", "pic_1.jpg", "pic_01.jpg", "pic_3.jpg"}, kMax, 2},
        {{"pic_9223372036854775806.jpg"}, kMax - 2, kMax},   // the last number itself
        {{"pic_9223372036854775806.jpg", "pic_9223372036854775807.jpg"}, kMax - 2, 1},
        {{"pic_-5.jpg", "pic_0.jpg", "pic_9223372036854775808.jpg"}, 0, 1},   // not ours
    };
    for (const auto& row : rows) {
        TestDirectory dir;
        for (const std::string& file : row.files)
            dir.WriteFile(file, "x");
        const std::int64_t next = NextFreePictureNumber(dir.path(), row.after);
        EXPECT_EQ(next, row.next) << row.files.size() << " files, after " << row.after;
        EXPECT_GT(next, 0);
        EXPECT_FALSE(fs::exists(dir.path() / PictureFileName(next)));
    }
}

// Only the pictures' names in dir (no temporary file left behind).
std::vector<std::string> Names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PictureFile, IsWrittenWholeAndNeverReplacesOne)
{
    TestDirectory dir;
    const fs::path folder = dir.path() / "pictures";
    fs::create_directory(folder);
    const std::string jpeg(100000, '\xAB'), first = (folder / "pic_1.jpg").string();
    EXPECT_EQ(SavePicture(first, jpeg), "");
    EXPECT_EQ(dir.ReadFile("pictures/pic_1.jpg"), jpeg);
    EXPECT_EQ(SavePicture(first, "other"), "File exists");
    EXPECT_EQ(dir.ReadFile("pictures/pic_1.jpg"), jpeg) << "evidence is never replaced";
    EXPECT_NE(SavePicture((folder / "missing" / "pic_2.jpg").string(), jpeg), "");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"pic_1.jpg"}) << "no temporary file left";
}

}  // namespace
