// sndgen: synthesises the game's sound effects from code and writes them as
// 16-bit mono WAV files (22050 Hz) into the first directory given on the
// command line. Every file comes from a recipe row below: a kind of voice
// and a few numbers; the noise is a fixed-seed generator, so the output
// never changes. Built with Vorbis (ZM_SNDGEN_MUSIC), it also composes the
// short looping music tracks as Ogg Vorbis files into the second directory.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#ifdef ZM_SNDGEN_MUSIC
#include <vorbis/vorbisenc.h>
#endif

namespace {

const int RATE = 22050;
const double PI = 3.14159265358979323846;

enum Kind {
    KIND_THUD,     // low sine falling in pitch plus a noise click: impacts, hits
    KIND_NOISE,    // low-passed noise burst: swooshes, splashes, footsteps
    KIND_SWEEP,    // sine sweeping from f0 to f1: clicks, alerts
    KIND_VOICE,    // buzzy tone with vibrato, falling pitch: pain cries
    KIND_CRACK,    // sharp noise crack with a ringing tail: breaks, clashes
    KIND_CHORD     // three soft tones: game over, grading
};

struct Recipe {
    const char *file;
    int kind;
    double seconds;
    double f0, f1;   // start and end frequency (Hz); for noise: the filter
    double decay;    // envelope decay per second
    double gain;
};

const Recipe recipes[] = {
    {"pain1.wav", KIND_VOICE, 0.45, 320, 220, 4, 0.6},
    {"pain2.wav", KIND_VOICE, 0.50, 280, 180, 4, 0.6},
    {"pain3.wav", KIND_VOICE, 0.40, 360, 260, 5, 0.6},
    {"pain4.wav", KIND_VOICE, 0.55, 240, 160, 3, 0.6},
    {"pain5.wav", KIND_VOICE, 0.35, 400, 300, 6, 0.6},
    {"pain6.wav", KIND_VOICE, 0.60, 200, 130, 3, 0.6},
    {"pain7.wav", KIND_VOICE, 0.45, 300, 240, 4, 0.6},
    {"pain8.wav", KIND_VOICE, 0.50, 260, 150, 3, 0.6},
    {"body_hit_head1.wav", KIND_THUD, 0.20, 180, 90, 18, 0.5},
    {"body_hit_head2.wav", KIND_THUD, 0.25, 160, 70, 14, 0.7},
    {"body_hit_head3.wav", KIND_THUD, 0.30, 150, 50, 10, 0.9},
    {"body_hit1.wav", KIND_THUD, 0.18, 140, 80, 20, 0.5},
    {"body_hit2.wav", KIND_THUD, 0.20, 130, 70, 18, 0.6},
    {"body_hit3.wav", KIND_THUD, 0.22, 120, 60, 16, 0.7},
    {"body_hit4.wav", KIND_THUD, 0.26, 110, 50, 13, 0.8},
    {"body_hit5.wav", KIND_THUD, 0.30, 100, 40, 10, 0.9},
    {"body_impact_hard1.wav", KIND_THUD, 0.35, 90, 35, 9, 0.9},
    {"body_impact_hard2.wav", KIND_THUD, 0.30, 100, 40, 10, 0.8},
    {"body_impact_soft1.wav", KIND_THUD, 0.20, 120, 70, 16, 0.5},
    {"body_impact_soft2.wav", KIND_THUD, 0.22, 110, 60, 15, 0.5},
    {"body_impact_mini1.wav", KIND_THUD, 0.10, 200, 120, 30, 0.3},
    {"body_impact_mini2.wav", KIND_THUD, 0.12, 180, 110, 28, 0.3},
    {"body_break_hard1.wav", KIND_CRACK, 0.40, 2200, 400, 9, 0.9},
    {"body_swoosh_hand.wav", KIND_NOISE, 0.25, 0.30, 0.05, 0, 0.5},
    {"body_swoosh_feet.wav", KIND_NOISE, 0.30, 0.20, 0.04, 0, 0.5},
    {"body_swoosh.wav", KIND_NOISE, 0.40, 0.15, 0.03, 0, 0.4},
    {"footstep.wav", KIND_THUD, 0.12, 90, 60, 30, 0.4},
    {"menu_click.wav", KIND_SWEEP, 0.05, 1800, 1200, 60, 0.4},
    {"select_player.wav", KIND_SWEEP, 0.12, 600, 900, 20, 0.4},
    {"joint_hold.wav", KIND_SWEEP, 0.08, 900, 700, 40, 0.4},
    {"button_click.wav", KIND_SWEEP, 0.04, 2400, 1600, 80, 0.4},
    {"fight_alert.wav", KIND_SWEEP, 0.60, 440, 880, 3, 0.5},
    {"gameover.wav", KIND_CHORD, 1.20, 220, 110, 2, 0.5},
    {"foul.wav", KIND_SWEEP, 0.50, 300, 150, 4, 0.5},
    {"splash0.wav", KIND_NOISE, 0.15, 0.50, 0.20, 0, 0.2},
    {"splash1.wav", KIND_NOISE, 0.18, 0.45, 0.18, 0, 0.25},
    {"splash2.wav", KIND_NOISE, 0.20, 0.40, 0.16, 0, 0.3},
    {"splash3.wav", KIND_NOISE, 0.22, 0.38, 0.14, 0, 0.35},
    {"splash4.wav", KIND_NOISE, 0.25, 0.35, 0.12, 0, 0.4},
    {"splash5.wav", KIND_NOISE, 0.28, 0.32, 0.10, 0, 0.45},
    {"splash6.wav", KIND_NOISE, 0.30, 0.30, 0.09, 0, 0.5},
    {"splash7.wav", KIND_NOISE, 0.34, 0.28, 0.08, 0, 0.55},
    {"splash8.wav", KIND_NOISE, 0.40, 0.25, 0.07, 0, 0.6},
    {"slowdown.wav", KIND_SWEEP, 0.90, 600, 80, 1.5, 0.5},
    {"weapon-hit.wav", KIND_CRACK, 0.35, 3200, 1400, 10, 0.7},
    {"weapon-clash.wav", KIND_CRACK, 0.60, 4200, 2600, 6, 0.7},
    {"grading.wav", KIND_CHORD, 1.20, 330, 660, 2, 0.5},
    {"neck_fracture.wav", KIND_CRACK, 0.50, 1600, 250, 7, 1.0},
};

uint32_t noise_state = 12345u;
double noise()
{
    noise_state = noise_state * 1664525u + 1013904223u;
    return (double)(noise_state >> 8) / 8388608.0 - 1.0;
}

void synthesise(const Recipe &r, std::vector<double> &out)
{
    int n = (int)(r.seconds * RATE);
    out.assign(n, 0.0);
    double phase = 0, phase2 = 0, phase3 = 0, low = 0;
    for (int i = 0; i < n; i++) {
        double t = (double)i / RATE;
        double u = (double)i / n;                       // 0..1 through the sound
        double attack = std::fmin(1.0, t / 0.004);      // no click at the start
        double release = std::fmin(1.0, (n - i) / (0.01 * RATE));
        double env = attack * release * std::exp(-r.decay * t);
        double freq = r.f0 + (r.f1 - r.f0) * u;
        double s = 0;
        switch (r.kind) {
        case KIND_THUD:
            phase += 2 * PI * freq / RATE;
            s = std::sin(phase) + (t < 0.015 ? 0.5 * noise() * (1 - t / 0.015) : 0);
            break;
        case KIND_NOISE: {
            // A one-pole low-pass whose opening rises and falls once.
            double open = r.f1 + (r.f0 - r.f1) * std::sin(PI * u);
            low += open * (noise() - low);
            env = attack * release * std::sin(PI * u);
            s = 3.0 * low;
            break;
        }
        case KIND_SWEEP:
            phase += 2 * PI * freq / RATE;
            s = std::sin(phase);
            break;
        case KIND_VOICE: {
            double vibrato = 1 + 0.03 * std::sin(2 * PI * 6 * t);
            phase += 2 * PI * freq * vibrato / RATE;
            double saw = std::fmod(phase / (2 * PI), 1.0) * 2 - 1;
            low += 0.15 * (saw - low);
            env = attack * release * std::sin(PI * std::fmin(1.0, u * 1.5));
            s = 1.5 * low;
            break;
        }
        case KIND_CRACK:
            phase += 2 * PI * freq / RATE;
            s = (t < 0.03 ? noise() : 0.0) + 0.6 * std::sin(phase) * std::sin(phase * 1.51);
            break;
        case KIND_CHORD:
            phase += 2 * PI * freq / RATE;
            phase2 += 2 * PI * freq * 1.25 / RATE;
            phase3 += 2 * PI * freq * 1.5 / RATE;
            s = (std::sin(phase) + std::sin(phase2) + std::sin(phase3)) / 3;
            break;
        }
        out[i] = r.gain * env * s;
    }
}

void put16(FILE *f, int v) { fputc(v & 0xff, f); fputc((v >> 8) & 0xff, f); }
void put32(FILE *f, uint32_t v) { put16(f, (int)(v & 0xffff)); put16(f, (int)(v >> 16)); }

int write_wav(const char *path, const std::vector<double> &samples)
{
    FILE *f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "Unable to open %s\n", path);
        return 1;
    }
    uint32_t bytes = (uint32_t)samples.size() * 2;
    fwrite("RIFF", 1, 4, f);
    put32(f, 36 + bytes);
    fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);          // PCM
    put16(f, 1);          // mono
    put32(f, RATE);
    put32(f, RATE * 2);
    put16(f, 2);
    put16(f, 16);
    fwrite("data", 1, 4, f);
    put32(f, bytes);
    for (double s : samples) {
        double c = s > 1 ? 1 : (s < -1 ? -1 : s);
        put16(f, (int)std::lround(c * 32000));
    }
    int bad = ferror(f);
    if (fclose(f) != 0 || bad) {
        fprintf(stderr, "Unable to write %s\n", path);
        return 1;
    }
    return 0;
}

#ifdef ZM_SNDGEN_MUSIC
// ---- music ---------------------------------------------------------------------

struct Track {
    const char *file;
    double beat;          // seconds a note
    double root;          // Hz
    int notes[16];        // scale steps of the tune, -1 a rest
};

const Track tracks[] = {
    {"track1.ogg", 0.30, 220, {0, 2, 4, 7, 4, 2, 0, -1, 0, 4, 7, 9, 7, 4, 2, -1}},
    {"track2.ogg", 0.25, 196, {0, 0, 3, 5, 3, 0, 7, 5, 3, 0, 3, 5, 7, 5, 3, -1}},
    {"track3.ogg", 0.35, 247, {4, 2, 0, 2, 4, 4, 4, -1, 2, 2, 2, -1, 4, 7, 7, -1}},
    {"track5.ogg", 0.20, 175, {0, 7, 5, 7, 0, 7, 5, 3, 0, 7, 5, 7, 10, 7, 5, 3}},
};

// The tune over a soft drone: the whole track is 16 notes and loops cleanly.
void compose(const Track &t, std::vector<float> &out)
{
    static const int scale[] = {0, 2, 3, 5, 7, 8, 10, 12, 14, 15, 17};
    int note_len = (int)(t.beat * RATE);
    out.assign(16 * note_len, 0.0f);
    double phase = 0, drone = 0;
    for (int k = 0; k < 16; k++) {
        double freq = t.notes[k] < 0 ? 0
                    : t.root * std::pow(2.0, scale[t.notes[k] % 11] / 12.0);
        for (int i = 0; i < note_len; i++) {
            double u = (double)i / note_len;
            double env = std::fmin(1.0, u * 40) * std::exp(-3.0 * u);
            phase += 2 * PI * freq / RATE;
            drone += 2 * PI * t.root * 0.5 / RATE;
            double s = freq > 0 ? env * (std::sin(phase) + 0.3 * std::sin(2 * phase)) : 0;
            out[k * note_len + i] = (float)(0.35 * s + 0.12 * std::sin(drone));
        }
    }
}

int write_ogg(const char *path, const std::vector<float> &samples, int serial)
{
    FILE *f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "Unable to open %s\n", path);
        return 1;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 1, RATE, 0.2f) != 0) {
        fprintf(stderr, "Unable to set up the Vorbis encoder for %s\n", path);
        vorbis_info_clear(&vi);
        fclose(f);
        return 1;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    ogg_packet header, comments, codebooks, packet;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page)) {
        fwrite(page.header, 1, page.header_len, f);
        fwrite(page.body, 1, page.body_len, f);
    }
    size_t at = 0;
    int done = 0;
    while (!done) {
        size_t n = samples.size() - at < 1024 ? samples.size() - at : 1024;
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);   // end of stream
        } else {
            float **buffer = vorbis_analysis_buffer(&vd, (int)n);
            memcpy(buffer[0], &samples[at], n * sizeof(float));
            vorbis_analysis_wrote(&vd, (int)n);
            at += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    fwrite(page.header, 1, page.header_len, f);
                    fwrite(page.body, 1, page.body_len, f);
                    if (ogg_page_eos(&page))
                        done = 1;
                }
            }
        }
        if (n == 0)
            done = 1;
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    int bad = ferror(f);
    if (fclose(f) != 0 || bad) {
        fprintf(stderr, "Unable to write %s\n", path);
        return 1;
    }
    return 0;
}
#endif

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: sndgen <sound directory> [<music directory>]\n");
        return 1;
    }
    int failed = 0;
    std::vector<double> samples;
    for (const Recipe &r : recipes) {
        char path[1024];
        snprintf(path, sizeof path, "%s/%s", argv[1], r.file);
        synthesise(r, samples);
        failed |= write_wav(path, samples);
    }
#ifdef ZM_SNDGEN_MUSIC
    if (argc == 3) {
        std::vector<float> music;
        int serial = 1;
        for (const Track &t : tracks) {
            char path[1024];
            snprintf(path, sizeof path, "%s/%s", argv[2], t.file);
            compose(t, music);
            failed |= write_ogg(path, music, serial++);
        }
    }
#endif
    return failed;
}
