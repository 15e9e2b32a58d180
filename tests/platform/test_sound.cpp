#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <unistd.h>
#include <cstring>
#include <string>

#include "platform/loop.h"
#include "platform/sound.h"
#include "support/test_support.h"

namespace {

// Five seconds of silence at the device format: long enough that a channel
// still plays when the test looks at it.
enum { CHUNK_BYTES = 22050 * 4 * 5 };
Uint8 silence_a[CHUNK_BYTES];
Uint8 silence_b[CHUNK_BYTES];

class Sound : public ::testing::Test {
protected:
    Mix_Chunk *a = nullptr, *b = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096), 0) << Mix_GetError();
        a = Mix_QuickLoad_RAW(silence_a, CHUNK_BYTES);
        b = Mix_QuickLoad_RAW(silence_b, CHUNK_BYTES);
        memset(sound_chunks, 0, sizeof sound_chunks);
        sound_chunks[1] = a;
        sound_chunks[2] = b;
        sound_enabled = 1;
        audio_unavailable = 0;
        effect_volume = 128;
        music_volume = 40;
        current_music = nullptr;
        current_track = -1;
    }
    void TearDown() override
    {
        stop_music();
        Mix_HaltChannel(-1);
        memset(sound_chunks, 0, sizeof sound_chunks);
        Mix_FreeChunk(a);
        Mix_FreeChunk(b);
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sound_enabled = 1;
        audio_unavailable = 0;
    }
};

TEST_F(Sound, PlayVolumeAndSilentCases)
{
    struct Case {
        const char *what;
        int enabled, volume, sound;
        float factor;
        int plays, mixer_volume;
    };
    const Case cases[] = {
        {"full volume", 1, 128, 1, 1.0f, 1, 128},
        {"factor scales the effect volume", 1, 100, 1, 0.3f, 1, 30},
        {"factor 0 plays nothing", 1, 128, 1, 0.0f, 0, -1},
        {"effect volume 0 plays nothing", 1, 0, 1, 1.0f, 0, -1},
        {"negative factor plays nothing", 1, 128, 1, -1.0f, 0, -1},
        {"sound off plays nothing", 0, 128, 1, 1.0f, 0, -1},
        {"a missing chunk plays nothing (the volume is set)", 1, 128, 5, 1.0f, 0, 128},
        {"a sound outside the table plays nothing", 1, 128, 48, 1.0f, 0, -1},
        {"a negative sound plays nothing", 1, 128, -1, 1.0f, 0, -1},
    };
    for (const Case &c : cases) {
        Mix_HaltChannel(-1);
        Mix_Volume(3, 77);
        sound_enabled = c.enabled;
        effect_volume = c.volume;
        play_sound(3, c.sound, 0, c.factor, 0);
        EXPECT_EQ(Mix_Playing(3) != 0, c.plays != 0) << c.what;
        EXPECT_EQ(Mix_Volume(3, -1), c.mixer_volume < 0 ? 77 : c.mixer_volume) << c.what;
    }
    // A channel below -1 is refused rather than indexed.
    sound_enabled = 1;
    effect_volume = 128;
    play_sound(-5, 1, 1, 1.0f, 0);
    EXPECT_EQ(Mix_Playing(-1), 0);
}

TEST_F(Sound, BusyChannelIsLeftAloneUnlessForced)
{
    play_sound_simple(3, 1, 0);
    ASSERT_EQ(Mix_GetChunk(3), a);
    play_sound(3, 2, 0, 1.0f, 0);
    EXPECT_EQ(Mix_GetChunk(3), a) << "unforced: the playing sound stays";
    play_sound_trigger(3, 2, 1, 1.0f, 0);
    EXPECT_EQ(Mix_GetChunk(3), b) << "forced: restarted with the new sound";
    // Any free channel (-1) never waits for a busy one.
    play_sound(-1, 2, 0, 1.0f, 0);
    EXPECT_EQ(Mix_Playing(-1), 2);
}

TEST_F(Sound, VolumesAndSwitches)
{
    set_effect_volume(64);
    EXPECT_EQ(get_effective_volume(), 64);
    EXPECT_EQ(Mix_Volume(5, -1), 64) << "all channels follow";
    set_sound_off();
    EXPECT_EQ(get_effective_volume(), 0);
    set_effect_volume(100);   // stored while off, the mixer is not touched
    EXPECT_EQ(Mix_Volume(5, -1), 64);
    set_sound_on();
    EXPECT_EQ(get_effective_volume(), 100);
    set_effect_volume(500);
    EXPECT_EQ(get_effective_volume(), 128);
    set_music_volume(90);
    EXPECT_EQ(get_music_volume(), 90);
    EXPECT_EQ(Mix_VolumeMusic(-1), 90);
}

TEST_F(Sound, AudioUnavailableKeepsEverythingSilent)
{
    sound_enabled = 0;
    audio_unavailable = 1;
    set_sound_on();
    EXPECT_EQ(sound_enabled, 0);
    EXPECT_EQ(get_effective_volume(), 0);
    play_sound(3, 1, 1, 1.0f, 0);
    start_music(0);
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_EQ(current_music, nullptr);
}

TEST_F(Sound, MissingMusicAndOutOfRangeTracksLoadNothing)
{
    char old_dir[1024];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(test_tmp_dir()), 0);   // no data/music/ here
    const int tracks[] = {0, 4, -1, 5, 1000};
    for (int t : tracks) {
        play_music_track(t);
        EXPECT_EQ(current_music, nullptr) << t;
    }
    stop_music();   // nothing loaded: nothing to do
    ASSERT_EQ(chdir(old_dir), 0);
}

TEST_F(Sound, MusicStartsStopsAndStartsAgain)
{
    char old_dir[1024];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(source_dir()), 0);
    if (access(music_table[1].path, R_OK) != 0) {
        ASSERT_EQ(chdir(old_dir), 0);
        GTEST_SKIP() << "no generated music tracks";
    }
    int on = 1;
    music_option = &on;
    start_music(1);
    ASSERT_NE(current_music, nullptr);
    EXPECT_EQ(current_track, 1);
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(Mix_VolumeMusic(-1), 40);
    Mix_Music *first = current_music;
    start_music(3);   // music is loaded: nothing changes
    EXPECT_EQ(current_music, first);
    EXPECT_EQ(current_track, 1);

    stop_music();   // halting calls the finished hook too: freed once
    EXPECT_EQ(current_music, nullptr);
    EXPECT_FALSE(Mix_PlayingMusic());
    start_music(1);
    EXPECT_NE(current_music, nullptr);
    EXPECT_TRUE(Mix_PlayingMusic());

    // Another track replaces the loaded one.
    play_music_track(4);
    EXPECT_EQ(current_track, 4);
    EXPECT_NE(current_music, nullptr);
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(music_finished_pending(), 0);   // the old track's halt is done
    // A finish marked while a track plays: the frame leaves that track.
    music_finished();
    EXPECT_NE(current_music, nullptr);
    poll_music_finished();
    EXPECT_NE(current_music, nullptr);
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(music_finished_pending(), 0);

    // The track ends on the mixer's side (a fade-out): the hook only marks
    // it, and the next frame frees it on this thread.
    Mix_FadeOutMusic(50);
    for (int i = 0; i < 500 && !music_finished_pending(); i++)
        SDL_Delay(10);
    ASSERT_EQ(music_finished_pending(), 1);
    EXPECT_NE(current_music, nullptr) << "freed inside the mixer's callback";
    poll_music_finished();
    EXPECT_EQ(current_music, nullptr);
    EXPECT_EQ(music_finished_pending(), 0);
    start_music(1);   // and music starts again
    EXPECT_NE(current_music, nullptr);
    stop_music();
    EXPECT_EQ(music_finished_pending(), 0);

    on = 0;   // the music option off: nothing starts
    start_music(0);
    EXPECT_EQ(current_music, nullptr);
    static int32_t default_on = 1;
    music_option = &default_on;
    ASSERT_EQ(chdir(old_dir), 0);
}

TEST(SoundFiles, EveryTableFileLoads)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0);
    ASSERT_EQ(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096), 0);
    char old_dir[1024];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(source_dir()), 0);
    load_sound_effects();
    for (int i = 0; i < NUM_SOUNDS; i++) {
        EXPECT_EQ(sound_table[i].index, i);
        EXPECT_NE(sound_chunks[i], nullptr) << sound_table[i].file;
    }
    free_sound_effects();
    for (int i = 0; i < NUM_SOUNDS; i++)
        EXPECT_EQ(sound_chunks[i], nullptr);
    ASSERT_EQ(chdir(old_dir), 0);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace
