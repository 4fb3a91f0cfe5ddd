#include "platform/sound/sound.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "tests/support/test_home.h"

namespace ss {
namespace {

// A "player" that records the file it was asked to play.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player_ = dir_.File("player.sh");
    test::WriteFile(player_, "#!/bin/sh\necho \"$1\" > '" + dir_.File("played") + "'\n");
    chmod(player_.c_str(), 0755);
    setenv("SCROLLSNAP_SOUND_PLAYER", player_.c_str(), 1);
  }
  void TearDown() override { unsetenv("SCROLLSNAP_SOUND_PLAYER"); }
  test::TempDir dir_;
  std::string player_;
};

TEST_F(SoundTest, PlaysAnExistingFileThroughThePlayer) {
  std::string wav = dir_.File("done.wav");
  test::WriteFile(wav, "RIFF");
  EXPECT_EQ(SoundPlayer(), player_);
  EXPECT_TRUE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME | SND_SYNC));
  EXPECT_EQ(test::ReadFile(dir_.File("played")), wav + "\n");
}

TEST_F(SoundTest, MissingFileOrPlayerPlaysNothing) {
  EXPECT_FALSE(PlaySoundA(dir_.File("absent.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC));
  EXPECT_FALSE(test::FileExists(dir_.File("played")));
  std::string wav = dir_.File("done.wav");
  test::WriteFile(wav, "RIFF");
  setenv("SCROLLSNAP_SOUND_PLAYER", "/nonexistent/player", 1);
  EXPECT_FALSE(PlaySoundA(wav.c_str(), nullptr, SND_FILENAME | SND_SYNC));
}

}  // namespace
}  // namespace ss
