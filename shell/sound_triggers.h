// Sound triggers: turn the fighters' motion, injury, impacts, hits, breaks
// and blood into sound effects. Each check compares how much a value grew
// since the last one with a table of thresholds, so bigger events play
// louder or heavier sounds and a steady growth does not repeat a sound.
// Main thread.
#pragma once

#include <cstdint>

struct MatchState;

// One threshold row; tables run from the highest threshold down and end
// with a row of sound -1.
struct SoundThreshold {
    int32_t sound;
    float threshold;
    int32_t force;
    float volume;
};
extern const SoundThreshold blood_sound_table[];
extern const SoundThreshold injury_sound_table[];
extern const SoundThreshold heavy_injury_sound_table[];
extern const SoundThreshold impact_sound_table[];

// Index of the first row whose threshold is below value, -1 when none.
int lookup_sound_threshold(const SoundThreshold *table, float value);

// What the triggers remember of one player record (fighters and ghosts).
enum { SPEED_BODIES = 4 };
struct TriggerRecord {
    double last_speed[SPEED_BODIES];   // bodies 20, 19, 12, 11 at the last tenth frame
    float injury_at_3;                 // injury at the last 3rd frame
    float injury_at_20;                // injury at the last 20th frame
    float impact_last;                 // the impact accumulator's last value
    float impact_base;                 // ground_speed when the accumulator restarted
    float hit_copy[2];                 // the two hit values at the last check
    float clash_hits;                  // the second hit value (weapon clashes)
    int32_t score_copy;                // broken_count when its sound last played
};
extern TriggerRecord trigger_records[8];
extern int32_t last_heavy_row;    // -1 none
extern int32_t last_impact_row;
extern int32_t last_blood_row;
extern double last_blood_amount;

// Where the triggers play; the platform's play_sound_trigger by default.
struct SoundTriggerOutward {
    void (*play)(int channel, int sound, int force, float volume, int loops);
};
extern SoundTriggerOutward sound_trigger_outward;

// Clears every remembered value (a fresh match, or a test).
void reset_sound_triggers();

// Called by the match core once per simulated frame / when scores change.
void play_motion_sounds();
void play_score_sounds();

// Parts of play_motion_sounds; each returns 1 when it played a sound.
int speed_sounds(int record, int channel, int frame);
int hit_sounds(int fighter, int channel, int frame);
void blood_sounds(int frame);

// A weapon clash of a fighter adds to its second hit value.
void add_clash_hit(int fighter, float amount);

// The turn and menu alert (sound 31) and the result sound: 46 for a belt
// upgrade (result code 1), else 32.
void play_menu_sound();
void play_result_sound(const MatchState *match);
