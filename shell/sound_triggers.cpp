// Sound triggers of the match: motion, injury, impact, hit, break and blood
// sounds chosen from threshold tables.
#include "shell/sound_triggers.h"

#include "core/blood.h"
#include "core/records.h"
#include "platform/sound.h"

#include <ode/ode.h>
#include <cmath>
#include <cstring>

const SoundThreshold blood_sound_table[] = {
    {42, 2500, 0, 0.5f}, {41, 2000, 0, 0.5f}, {40, 1600, 0, 0.4f}, {39, 1300, 0, 0.3f},
    {38, 1000, 0, 0.2f}, {37, 900, 0, 0.2f},  {36, 800, 0, 0.2f},  {35, 700, 0, 0.2f},
    {34, 600, 0, 0.1f},  {-1, 0, 0, 0},
};
const SoundThreshold injury_sound_table[] = {
    {15, 8000, 1, 1.0f}, {14, 4000, 1, 1.0f}, {13, 2000, 0, 1.0f},
    {12, 1000, 0, 1.0f}, {11, 500, 0, 0.5f},  {-1, 0, 0, 0},
};
const SoundThreshold heavy_injury_sound_table[] = {
    {7, 100000, 0, 1.0f}, {6, 80000, 0, 1.0f}, {5, 50000, 0, 1.0f}, {4, 10000, 0, 1.0f},
    {3, 3200, 0, 0.5f},   {2, 2500, 0, 0.3f},  {1, 1200, 0, 0.3f},  {0, 800, 0, 0.3f},
    {-1, 0, 0, 0},
};
const SoundThreshold impact_sound_table[] = {
    {17, 50, 1, 1.0f}, {16, 20, 0, 1.0f}, {19, 10, 0, 1.0f},
    {18, 5, 0, 0.2f},  {21, 3, 0, 0.2f},  {20, 2, 0, 0.2f},  {-1, 0, 0, 0},
};

enum {
    SOUND_SWOOSH_HAND = 23, SOUND_SWOOSH_FEET = 24, SOUND_SWOOSH = 25,
    SOUND_HIT_HEAD1 = 8, SOUND_HIT_HEAD2 = 9, SOUND_HIT_HEAD3 = 10,
    SOUND_FIGHT_ALERT = 31, SOUND_GAMEOVER = 32, SOUND_SLOWDOWN = 43,
    SOUND_CLASH = 45, SOUND_GRADING = 46,
    BLOOD_CHANNEL = 6, MENU_CHANNEL = 7, HIT_CHANNEL = 4, IMPACT_CHANNEL = 0
};

// Feet first, then hands: bodies 20, 19, 12, 11.
static const int speed_bodies[SPEED_BODIES] = {20, 19, 12, 11};

TriggerRecord trigger_records[MAX_PLAYERS];
int32_t last_heavy_row = -1;
int32_t last_impact_row;
int32_t last_blood_row = -1;
double last_blood_amount;

SoundTriggerOutward sound_trigger_outward = {play_sound_trigger};

static void play_row(int channel, const SoundThreshold *row)
{
    if (sound_trigger_outward.play)
        sound_trigger_outward.play(channel, row->sound, row->force, row->volume, 0);
}

static void play_plain(int channel, int sound, int force)
{
    if (sound_trigger_outward.play)
        sound_trigger_outward.play(channel, sound, force, 1.0f, 0);
}

int lookup_sound_threshold(const SoundThreshold *table, float value)
{
    for (int i = 0; table[i].sound != -1; i++)
        if (table[i].threshold < value)
            return i;
    return -1;
}

void reset_sound_triggers()
{
    memset(trigger_records, 0, sizeof trigger_records);
    last_heavy_row = -1;
    last_impact_row = 0;
    last_blood_row = -1;
    last_blood_amount = 0;
}

void add_clash_hit(int fighter, float amount)
{
    if (fighter >= 0 && fighter < MAX_PLAYERS)
        trigger_records[fighter].clash_hits += amount;
}

int speed_sounds(int record, int channel, int frame)
{
    if (frame % 10 != 0 || record < 0 || record >= MAX_PLAYERS || !has_bodies(record))
        return 0;
    PlayerState *p = &players[record];
    TriggerRecord *t = &trigger_records[record];
    int sound = -1;
    for (int k = 0; k < SPEED_BODIES; k++) {
        dBodyID body = p->body[speed_bodies[k]];
        if (!body)
            continue;
        const dReal *v = dBodyGetLinearVel(body);
        double speed = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        double rate = (speed - t->last_speed[k]) / 0.06;
        t->last_speed[k] = speed;
        if (k < 2 && rate > 1000 && sound == -1)
            sound = SOUND_SWOOSH_FEET;
        else if (k >= 2 && rate > 1500)
            sound = SOUND_SWOOSH_HAND;
    }
    if (sound == -1)
        return 0;
    play_plain(channel, sound, 1);
    return 1;
}

int hit_sounds(int fighter, int channel, int frame)
{
    if (frame % 3 != 0 || fighter < 0 || fighter >= MAX_PLAYERS)
        return 0;
    TriggerRecord *t = &trigger_records[fighter];
    float first = players[fighter].head_force;
    float second = t->clash_hits;
    float rise_first = first - t->hit_copy[0];
    float rise_second = second - t->hit_copy[1];
    t->hit_copy[0] = first;
    t->hit_copy[1] = second;
    if (rise_second > 10) {
        play_plain(channel, SOUND_CLASH, 1);
        return 1;
    }
    if (rise_first > 100)
        play_plain(channel, SOUND_HIT_HEAD3, 1);
    else if (rise_first > 30)
        play_plain(channel, SOUND_HIT_HEAD2, 1);
    else if (rise_first > 5)
        play_plain(channel, SOUND_HIT_HEAD1, 0);
    else
        return 0;
    return 1;
}

void blood_sounds(int frame)
{
    if (frame == 1) {
        last_blood_amount = 0;
        last_blood_row = -1;
    }
    if (frame % 4 != 0)
        return;
    double amount = get_blood_amount();
    double rise = amount - last_blood_amount;
    if (last_blood_amount == 0 && amount > 10)
        rise += 100;
    last_blood_amount = amount;
    if (rise < 1)
        return;
    int row = rise > 2500 ? 0 : lookup_sound_threshold(blood_sound_table, (float)rise);
    if (row < 0)
        return;
    last_blood_row = row;
    play_row(BLOOD_CHANNEL, &blood_sound_table[row]);
}

void play_score_sounds()
{
    int n = fighter_count();
    for (int i = 0; i < n; i++) {
        PlayerState *p = &players[i];
        TriggerRecord *t = &trigger_records[i];
        if (p->broken_count == t->score_copy)
            continue;
        // A counter that went down was reset by a new game or a replay
        // jump: nothing broke, so nothing plays.
        if (p->broken_count > t->score_copy)
            play_plain(BLOOD_CHANNEL,
                       p->broken_count - t->score_copy > 10 ? SOUND_SLOWDOWN : p->break_sound, 1);
        t->score_copy = p->broken_count;
    }
}

// Injury and impact checks of one fighter (steps b to f of a frame).
static void fighter_sounds(int i, int frame, int speed_played)
{
    PlayerState *p = &players[i];
    TriggerRecord *t = &trigger_records[i];
    if (!speed_played) {
        if (frame == 1) {
            last_heavy_row = -1;
            return;
        }
        if (frame % 20 == 0) {
            float growth = p->injury - t->injury_at_20;
            if (growth >= 1) {
                int row = lookup_sound_threshold(heavy_injury_sound_table, growth);
                if (row >= 0 && row != last_heavy_row) {
                    play_row(i + 2, &heavy_injury_sound_table[row]);
                    last_heavy_row = row;
                }
            }
            t->injury_at_20 = p->injury;
        }
    }
    if (frame % 3 == 0) {
        float growth = p->injury - t->injury_at_3;
        t->injury_at_3 = p->injury;
        if (growth >= 1) {
            int row = lookup_sound_threshold(injury_sound_table, growth);
            if (row >= 0)
                play_row(i, &injury_sound_table[row]);
        }
    }
    if (frame == 1) {
        last_impact_row = 0;
        return;
    }
    if (frame % 2 == 0) {
        // The impact accumulator is what the fighter's ground-contact speed
        // sum gained since the last even frame; the sum itself stays whole
        // for whoever else reads it.
        float accumulator = p->ground_speed - t->impact_base;
        float growth = (accumulator - t->impact_last) * 0.5f;
        if (growth >= 1) {
            int row = lookup_sound_threshold(impact_sound_table, growth);
            if (row >= 0 && row != last_impact_row) {
                play_row(IMPACT_CHANNEL, &impact_sound_table[row]);
                last_impact_row = row;
            }
        }
        t->impact_last = accumulator;
        t->impact_base = p->ground_speed;
    }
}

void play_motion_sounds()
{
    MatchState *m = &match_state;
    int frame = m->match_frame;
    if (m->ghost_mode != 0) {
        int n = fighter_count();
        for (int i = 0; i < n; i++)
            if (players[i].no_input == 0)
                speed_sounds(m->num_players + i, i + 2, m->ghost_count);
        if (m->ghost_count == 0)
            play_plain(HIT_CHANNEL, SOUND_SWOOSH, 1);
        return;
    }
    play_score_sounds();
    for (int i = 0; i < 2 && i < MAX_PLAYERS; i++)
        fighter_sounds(i, frame, speed_sounds(i, i + 2, frame));
    if (!hit_sounds(1, HIT_CHANNEL, frame))
        hit_sounds(0, HIT_CHANNEL, frame);
    blood_sounds(frame);
}

void play_menu_sound() { play_plain(MENU_CHANNEL, SOUND_FIGHT_ALERT, 0); }

void play_result_sound(const MatchState *match)
{
    int upgrade = match && match->result_code == 1;
    play_plain(MENU_CHANNEL, upgrade ? SOUND_GRADING : SOUND_GAMEOVER, 0);
}
