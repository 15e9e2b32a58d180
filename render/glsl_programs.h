// The GLSL program table of the shader renderer: 46 programs built from
// this program's own sources (render/glsl_sources.cpp), compiled and linked
// at renderer start, the feature levels that compiled, the probe that lowers
// the graphics options to what the driver supports, the active program
// slots the scene passes bind, the lighting models, and uniform setters by
// name.
#pragma once

#include <cstdint>

// Feature mask bits of a program.
enum : uint32_t {
    SHADER_BASE = 0x1,           // needed for shaders at all
    SHADER_SHADOW = 0x2,         // rows with mask 0x3
    SHADER_MOTION_BLUR = 0x4,
    SHADER_FLUID_1 = 0x8,
    SHADER_FLUID_4 = 0x10,
    SHADER_AO4 = 0x20,
    SHADER_AO6 = 0x40,
    SHADER_AO12 = 0x80,
    SHADER_TCGEN = 0x100,
    SHADER_BUMP = 0x200,
    SHADER_LIGHTING_MODEL = 0xFFFFFFFFu   // extra lighting models, never counted
};

enum { SHADER_PROGRAMS = 46 };

struct ShaderProgramEntry {
    const char *name;            // null in the end row
    int32_t *handle;             // receives the linked program; null once it failed
    const char *fragment_source;
    const char *vertex_source;
    uint32_t mask;
    int32_t compiled;            // 1 once linked
};
// 46 rows and an end row.
extern ShaderProgramEntry ShaderProgramTable[SHADER_PROGRAMS + 1];

// Each program's own handle (0 while not linked).
extern int32_t sh_diff, sh_difftex, sh_ground, sh_copy, sh_ghost, sh_simp, sh_simptex,
    sh_topsimptex, sh_simpd, sh_simpdtex, sh_stain, sh_staincopy, sh_ground_ao4,
    sh_ground_ao6, sh_ground_ao12, sh_diff_ao4, sh_diff_ao6, sh_diff_ao12, sh_difftex_ao4,
    sh_difftex_ao6, sh_difftex_ao12, sh_difftex_tcgen, sh_difftex_tcgen_ao4,
    sh_difftex_tcgen_ao6, sh_difftex_tcgen_ao12, sh_difftex_bump, sh_difftex_ao4_bump,
    sh_difftex_ao6_bump, sh_difftex_ao12_bump, sh_difftex_tcgen_bump,
    sh_difftex_tcgen_ao4_bump, sh_difftex_tcgen_ao6_bump, sh_difftex_tcgen_ao12_bump,
    sh_blood, sh_blood_1, sh_shadow, sh_shadow_floor, sh_combine, sh_smooth, sh_final,
    sh_gooch, sh_phong, sh_goochtex, sh_phongtex, sh_goochtexbump, sh_phongtexbump;

// The programs the scene passes draw with (0: none).
struct ActivePrograms {
    int32_t simple;
    int32_t simple_sun;
    int32_t simple_textured;
    int32_t simple_textured_sun;
    int32_t diffuse;
    int32_t diffuse_textured;
    int32_t ground;
    int32_t copy;
    int32_t ghost;
    int32_t texture_colour;
    int32_t stain;
    int32_t stain_copy;
    int32_t shadow;
    int32_t shadow_floor;
    int32_t tcgen;
    int32_t combine;
    int32_t smooth;
    int32_t final_blur;
    int32_t fluid_blood;
    int32_t bump;
    int32_t tcgen_bump;
};
extern ActivePrograms active_programs;

// What compiled (computed after compiling).
struct ShaderLevels {
    int32_t usable;              // the base set compiled (and tcgen)
    uint32_t tcgen;              // 0x100 or 0
    uint32_t ambient_occlusion;  // 0x80, 0x40, 0x20 or 0
    uint32_t bump;               // 0x200 or 0
    uint32_t fluid;              // 0x10, 0x8 or 0
    uint32_t motion_blur;        // 0x4 or 0
    int32_t lighting_models;     // any extra lighting model compiled
};
extern ShaderLevels shader_levels;

// Lighting models: which programs draw diffuse, textured and bump surfaces.
struct LightingModel {
    const char *name;            // null in the end row
    int32_t *diffuse;
    int32_t *diffuse_textured;
    int32_t *bump;
};
extern const LightingModel LightingModelTable[];
extern const LightingModel *current_lighting_model;
// 0 and the row becomes current; 1 when no row has that name.
int set_lighting_model(const char *name);

// The probe reads and lowers the graphics options through
// render_option_refs (platform/screenshot.h); an empty reference reads as 0
// and is not written.
int render_option(int32_t *ref);
void lower_render_option(int32_t *ref);

// The renderer's error flag (a failed link or vertex buffer sets it).
extern int32_t renderer_error_flag;

// ---- building programs ----------------------------------------------------------
// A linked program from two sources, or 0 (the logs go to stderr).
uint32_t create_program(const char *vertex_source, const char *fragment_source);
// Reads both files whole and builds the program; 0 when a file is missing.
uint32_t program_from_files(const char *vertex_path, const char *fragment_path);
// The whole of a text file (malloc'd, terminated), null for a missing or
// empty file.
char *read_text_file(const char *path);
// Prints a shader's or program's info log to stderr when it has one.
void print_info_log(uint32_t object);
// As create_program (arguments the other way round); prints the link log;
// on a failed link sets renderer_error_flag and returns 0.
uint32_t link_program(const char *fragment_source, const char *vertex_source);

// Compiles and links every row, then the level summary and the probe.
// Returns 1 when shaders are unusable, else 0.
int compile_all_programs();
// The summary and the probe on their own (the rows' compiled marks as they
// stand); compile_all_programs runs both.
void summarise_shader_levels();
void probe_shader_support();
// Deletes every linked program and clears the handles and slots.
void delete_all_programs();

// ---- using programs ---------------------------------------------------------------
void use_program(int32_t program);   // 0: fixed function
// Uniform setters by name on a program (nothing when the program is 0 or
// the name is not used by it).
int uniform_location(int32_t program, const char *name);
void set_uniform_1i(int32_t program, const char *name, int value);
void set_uniform_1f(int32_t program, const char *name, float x);
void set_uniform_2f(int32_t program, const char *name, float x, float y);
void set_uniform_3f(int32_t program, const char *name, float x, float y, float z);
void set_uniform_3fv(int32_t program, const char *name, const float v[3]);
void set_uniform_4f(int32_t program, const char *name, float x, float y, float z, float w);
void set_uniform_4fv(int32_t program, const char *name, const float v[4]);
void set_uniform_matrix4(int32_t program, const char *name, const float m[16]);
// The occluders occa .. occl (xyz position, w radius); count at most 12,
// the rest set to zero.
void set_uniform_occluders(int32_t program, const float (*occluders)[4], int count);
// Samplers s0 .. s7 to texture units 0 .. 7.
void set_uniform_samplers8(int32_t program);

// ---- the shader path on and off -------------------------------------------------------
// Turning on runs the shader renderer's set-up (render_outward's
// init_shader_renderer) in the current GL context; shaders_active becomes 1
// only when that set-up succeeded, otherwise the option goes back to 0 and
// the player is told. Turning off stops the shader path and frees what the
// set-up made. Returns 0 when the wanted state was reached.
// Before the renderer's resources are loaded (a start-up script runs before
// the window exists) turning on only keeps the option on: the renderer's
// start builds the shader path then, with the same success rule.
int set_shaders_enabled(int on);
