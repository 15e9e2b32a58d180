// Sound effects and music playback through SDL_mixer.
#include "platform/sound.h"

#include "platform/loop.h"

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <atomic>
#include <cstdio>

const SoundRow sound_table[NUM_SOUNDS] = {
    {0, "pain1.wav"}, {1, "pain2.wav"}, {2, "pain3.wav"}, {3, "pain4.wav"},
    {4, "pain5.wav"}, {5, "pain6.wav"}, {6, "pain7.wav"}, {7, "pain8.wav"},
    {8, "body_hit_head1.wav"}, {9, "body_hit_head2.wav"}, {10, "body_hit_head3.wav"},
    {11, "body_hit1.wav"}, {12, "body_hit2.wav"}, {13, "body_hit3.wav"},
    {14, "body_hit4.wav"}, {15, "body_hit5.wav"},
    {16, "body_impact_hard1.wav"}, {17, "body_impact_hard2.wav"},
    {18, "body_impact_soft1.wav"}, {19, "body_impact_soft2.wav"},
    {20, "body_impact_mini1.wav"}, {21, "body_impact_mini2.wav"},
    {22, "body_break_hard1.wav"}, {23, "body_swoosh_hand.wav"},
    {24, "body_swoosh_feet.wav"}, {25, "body_swoosh.wav"}, {26, "footstep.wav"},
    {27, "menu_click.wav"}, {28, "select_player.wav"}, {29, "joint_hold.wav"},
    {30, "button_click.wav"}, {31, "fight_alert.wav"},
    {32, "gameover.wav"}, {33, "foul.wav"}, {34, "splash0.wav"}, {35, "splash1.wav"},
    {36, "splash2.wav"}, {37, "splash3.wav"}, {38, "splash4.wav"}, {39, "splash5.wav"},
    {40, "splash6.wav"}, {41, "splash7.wav"}, {42, "splash8.wav"},
    {43, "slowdown.wav"}, {44, "weapon-hit.wav"}, {45, "weapon-clash.wav"},
    {46, "grading.wav"}, {47, "neck_fracture.wav"},
};

const MusicRow music_table[NUM_MUSIC_TRACKS + 1] = {
    {0, "data/music/track1.ogg"}, {1, "data/music/track2.ogg"},
    {2, "data/music/track2.ogg"}, {3, "data/music/track3.ogg"},
    {4, "data/music/track5.ogg"}, {-1, nullptr},
};

int32_t effect_volume = MIX_MAX_VOLUME;
int32_t music_volume = 40;
Mix_Chunk *sound_chunks[NUM_SOUNDS];
Mix_Music *current_music;
int32_t current_track = -1;

static int32_t music_option_default = 1;
int32_t *music_option = &music_option_default;

static int clamp_volume(int volume)
{
    if (volume < 0)
        return 0;
    return volume > MIX_MAX_VOLUME ? MIX_MAX_VOLUME : volume;
}

void load_sound_effects()
{
    for (int i = 0; i < NUM_SOUNDS; i++) {
        char path[SOUND_PATH_BYTES];
        snprintf(path, sizeof path, "data/sounds/%s", sound_table[i].file);
        SDL_RWops *rw = SDL_RWFromFile(path, "rb");
        sound_chunks[i] = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
        if (!sound_chunks[i])
            fprintf(stderr, "Mix_LoadWAV: %s %s\n", path, Mix_GetError());
    }
}

void free_sound_effects()
{
    for (int i = 0; i < NUM_SOUNDS; i++) {
        if (sound_chunks[i])
            Mix_FreeChunk(sound_chunks[i]);
        sound_chunks[i] = nullptr;
    }
}

void play_sound(int channel, int sound, int force, float factor, int loops)
{
    if (!sound_enabled)
        return;
    // A sound outside the table or a channel below -1 would index past the
    // mixer's arrays.
    if (sound < 0 || sound >= NUM_SOUNDS || channel < -1)
        return;
    float volume = factor * (float)effect_volume;
    if (volume <= 0.0f)
        return;
    if (!force && channel != -1 && Mix_Playing(channel))
        return;
    Mix_Volume(channel, (int)volume);
    if (sound_chunks[sound])
        Mix_PlayChannelTimed(channel, sound_chunks[sound], loops != 0 ? -1 : 0, -1);
}

void play_sound_simple(int channel, int sound, int force)
{
    play_sound(channel, sound, force, 1.0f, 0);
}

void play_sound_trigger(int channel, int sound, int force, float factor, int loops)
{
    play_sound(channel, sound, force, factor, loops);
}

void set_effect_volume(int volume)
{
    effect_volume = clamp_volume(volume);
    if (sound_enabled)
        Mix_Volume(-1, effect_volume);
}

int get_effective_volume() { return sound_enabled ? effect_volume : 0; }

int get_music_volume() { return music_volume; }

void set_music_volume(int volume)
{
    music_volume = clamp_volume(volume);
    if (sound_enabled)
        Mix_VolumeMusic(music_volume);
}

void set_sound_on()
{
    if (!audio_unavailable)
        sound_enabled = 1;
}

void set_sound_off() { sound_enabled = 0; }

// Takes the loaded music out of current_music before freeing it, so that
// the finished hook (which Mix_HaltMusic also calls) never frees it twice.
static void release_music()
{
    Mix_Music *music = current_music;
    current_music = nullptr;
    if (music)
        Mix_FreeMusic(music);
}

// Set by the mixer's finished hook; the frame acts on it on the main thread.
static std::atomic<int> music_finished_flag{0};

// The mixer calls this from its audio side (or from inside Mix_HaltMusic),
// where no mixer call may be made: it only marks the music as finished.
void music_finished() { music_finished_flag.store(1); }

int music_finished_pending() { return music_finished_flag.load(); }

// Halts the music on the main thread; the hook that Mix_HaltMusic calls
// marks nothing that is still to be done.
static void halt_music()
{
    Mix_HaltMusic();
    music_finished_flag.store(0);
}

void poll_music_finished()
{
    if (!music_finished_flag.exchange(0))
        return;
    // A track started since the mark is playing and stays.
    if (sound_enabled && current_music && !Mix_PlayingMusic()) {
        halt_music();
        release_music();
    }
}

void stop_music()
{
    if (sound_enabled && current_music) {
        halt_music();
        release_music();
    }
}

void play_music_track(int track)
{
    if (!sound_enabled)
        return;
    if (track < 0 || track >= NUM_MUSIC_TRACKS) {
        fprintf(stderr, "Unable to load music files track %d\n", track);
        return;
    }
    if (!current_music || track != current_track) {
        // A different track replaces the loaded one: halt and free it first,
        // so the finished hook of the old one cannot free the new one.
        if (current_music) {
            halt_music();
            release_music();
        }
        Mix_Music *music = Mix_LoadMUS(music_table[track].path);
        if (!music) {
            fprintf(stderr, "Unable to load music files %s\n", Mix_GetError());
            return;
        }
        current_music = music;
        current_track = track;
    }
    Mix_VolumeMusic(music_volume);
    Mix_FadeInMusic(current_music, -1, 2000);
    Mix_HookMusicFinished(music_finished);
}

void start_music(int track)
{
    if (*music_option != 0 && sound_enabled && !current_music) {
        play_music_track(track);
        current_track = track;
    }
}
