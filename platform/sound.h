// Sound effects and background music through SDL_mixer: the 48 effect
// chunks of the sound table, playing an effect on a mixer channel with a
// volume factor, the effect and music volumes, and one looping music track
// at a time. The device itself is opened by run_main_loop. Main thread,
// except music_finished, which SDL_mixer calls from its audio side and
// which only sets a flag.
#pragma once

#include <cstdint>

struct _Mix_Music;
struct Mix_Chunk;

enum { NUM_SOUNDS = 48, NUM_MUSIC_TRACKS = 5, SOUND_PATH_BYTES = 256 };

struct SoundRow {
    int index;
    const char *file;   // under data/sounds/
};
extern const SoundRow sound_table[NUM_SOUNDS];

struct MusicRow {
    int index;
    const char *path;   // null ends the table
};
extern const MusicRow music_table[NUM_MUSIC_TRACKS + 1];

// sound_enabled and audio_unavailable live with the platform loop
// (platform/loop.h).
extern int32_t effect_volume;     // 0..128, 128 at start
extern int32_t music_volume;      // 0..128, 40 at start
extern Mix_Chunk *sound_chunks[NUM_SOUNDS];   // null where a file failed
extern _Mix_Music *current_music;             // null when none is loaded
extern int32_t current_track;                 // the last track started, -1 at start

// The shell's "music" option; start_music plays only while it is not 0.
// Points at a default of 1 until start-up binds it.
extern int32_t *music_option;

// Loads the 48 chunks from "data/sounds/<file>"; a file that fails leaves a
// null chunk and a line on standard error. free_sound_effects frees and
// nulls them.
void load_sound_effects();
void free_sound_effects();

// Plays chunk `sound` on `channel` (-1: any free one) at factor x the effect
// volume; loops != 0 loops forever. Unless force is set, a specific channel
// that still plays is left alone.
void play_sound(int channel, int sound, int force, float factor, int loops);
void play_sound_simple(int channel, int sound, int force);
// The same behaviour, the entry of the sound triggers.
void play_sound_trigger(int channel, int sound, int force, float factor, int loops);

void set_effect_volume(int volume);
int get_effective_volume();
int get_music_volume();
void set_music_volume(int volume);
void set_sound_on();
void set_sound_off();

void play_music_track(int track);
void start_music(int track);
void stop_music();
// The mixer's finished hook: it only marks the music as finished (no mixer
// call may be made there); poll_music_finished, once a frame on the main
// thread, then halts and frees the finished music.
void music_finished();
void poll_music_finished();
// 1 while a finish is marked and not yet acted on.
int music_finished_pending();
