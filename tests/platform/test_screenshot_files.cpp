// Screenshot files under kills: a BMP or PPM being written when the process
// dies leaves the old picture whole under its name, never half of the new one.
#include "platform/screenshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "support/kill_write.h"
#include "support/test_support.h"

namespace {

const int W = 320, H = 240;

std::vector<unsigned char> picture(unsigned char seed)
{
    std::vector<unsigned char> pixels((size_t)W * H * 3);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = (unsigned char)(i * 7 + seed);
    return pixels;
}

struct Format {
    const char *name;
    int (*write)(const char *, const unsigned char *, int, int);
};

}  // namespace

TEST(ScreenshotFiles, KillDuringWriteLeavesAWholePicture)
{
    const Format formats[] = {{"kill_shot.bmp", write_bmp_pixels},
                              {"kill_shot.ppm", write_ppm_pixels}};
    for (const Format &format : formats) {
        SCOPED_TRACE(format.name);
        std::string path = test_tmp_path(format.name);
        std::vector<unsigned char> before = picture(1), after = picture(2);
        ASSERT_EQ(format.write(path.c_str(), before.data(), W, H), 0);
        std::string old_content = read_whole_file(path);
        ASSERT_EQ(format.write(path.c_str(), after.data(), W, H), 0);
        std::string new_content = read_whole_file(path);
        ASSERT_NE(old_content, new_content);
        ASSERT_GT(new_content.size(), (size_t)W * H * 3);
        expect_whole_after_kills(path, old_content, new_content, [&] {
            format.write(path.c_str(), after.data(), W, H);
        });
        remove_stale_temporaries(path);
    }
}

TEST(ScreenshotFiles, UnwritableFolderFailsAndLeavesNothing)
{
    std::vector<unsigned char> pixels = picture(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_bmp_pixels("/nonexistent/shot.bmp", pixels.data(), W, H), -1);
    EXPECT_EQ(write_ppm_pixels("/nonexistent/shot.ppm", pixels.data(), W, H), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/nonexistent/shot.bmp"), std::string::npos) << err;
    EXPECT_NE(err.find("/nonexistent/shot.ppm"), std::string::npos) << err;
    EXPECT_EQ(write_ppm_pixels(test_tmp_path("empty.ppm").c_str(), pixels.data(), 0, H), 1);
    EXPECT_FALSE(file_exists(test_tmp_path("empty.ppm").c_str()));
}
