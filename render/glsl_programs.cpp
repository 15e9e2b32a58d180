#include "render/glsl_programs.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/screenshot.h"
#include "core/outward.h"
#include "render/glsl_sources.h"
#include "render/scene.h"
#include "core/safe_file.h"

int32_t sh_diff, sh_difftex, sh_ground, sh_copy, sh_ghost, sh_simp, sh_simptex, sh_topsimptex,
    sh_simpd, sh_simpdtex, sh_stain, sh_staincopy, sh_ground_ao4, sh_ground_ao6,
    sh_ground_ao12, sh_diff_ao4, sh_diff_ao6, sh_diff_ao12, sh_difftex_ao4, sh_difftex_ao6,
    sh_difftex_ao12, sh_difftex_tcgen, sh_difftex_tcgen_ao4, sh_difftex_tcgen_ao6,
    sh_difftex_tcgen_ao12, sh_difftex_bump, sh_difftex_ao4_bump, sh_difftex_ao6_bump,
    sh_difftex_ao12_bump, sh_difftex_tcgen_bump, sh_difftex_tcgen_ao4_bump,
    sh_difftex_tcgen_ao6_bump, sh_difftex_tcgen_ao12_bump, sh_blood, sh_blood_1, sh_shadow,
    sh_shadow_floor, sh_combine, sh_smooth, sh_final, sh_gooch, sh_phong, sh_goochtex,
    sh_phongtex, sh_goochtexbump, sh_phongtexbump;

ActivePrograms active_programs;
ShaderLevels shader_levels;
int32_t renderer_error_flag = 0;

#define S glsl_sources
#define ROW(name, f, v, mask) {#name, &name, S.f, S.v, mask, 0}

// Rebuilt from this template at every compile (failed rows lose their
// handle slot).
static ShaderProgramEntry program_rows_template[SHADER_PROGRAMS + 1];
ShaderProgramEntry ShaderProgramTable[SHADER_PROGRAMS + 1];

static void fill_program_rows()
{
    const ShaderProgramEntry rows[SHADER_PROGRAMS + 1] = {
        ROW(sh_diff, f_diffuse, lit, 0x1),
        ROW(sh_difftex, f_difftex, lit_tex, 0x1),
        ROW(sh_ground, f_ground, ground, 0x1),
        ROW(sh_copy, f_copy, copy, 0x1),
        ROW(sh_ghost, f_ghost, ghost, 0x1),
        ROW(sh_simp, f_simple, lit, 0x1),
        ROW(sh_simptex, f_simptex, lit_tex, 0x1),
        ROW(sh_topsimptex, f_topsimptex, lit_tex, 0x1),
        ROW(sh_simpd, f_simpd, lit, 0x1),
        ROW(sh_simpdtex, f_simpdtex, lit_tex, 0x1),
        ROW(sh_stain, f_stain, stain, 0x1),
        ROW(sh_staincopy, f_staincopy, copy, 0x1),
        ROW(sh_ground_ao4, f_ground_ao4, ground, 0x20),
        ROW(sh_ground_ao6, f_ground_ao6, ground, 0x40),
        ROW(sh_ground_ao12, f_ground_ao12, ground, 0x80),
        ROW(sh_diff_ao4, f_diff_ao4, lit, 0x20),
        ROW(sh_diff_ao6, f_diff_ao6, lit, 0x40),
        ROW(sh_diff_ao12, f_diff_ao12, lit, 0x80),
        ROW(sh_difftex_ao4, f_difftex_ao4, lit_tex, 0x20),
        ROW(sh_difftex_ao6, f_difftex_ao6, lit_tex, 0x40),
        ROW(sh_difftex_ao12, f_difftex_ao12, lit_tex, 0x80),
        ROW(sh_difftex_tcgen, f_difftex, tcgen, 0x100),
        ROW(sh_difftex_tcgen_ao4, f_difftex_ao4, tcgen, 0x120),
        ROW(sh_difftex_tcgen_ao6, f_difftex_ao6, tcgen, 0x140),
        ROW(sh_difftex_tcgen_ao12, f_difftex_ao12, tcgen, 0x180),
        ROW(sh_difftex_bump, f_bump, bump, 0x200),
        ROW(sh_difftex_ao4_bump, f_bump_ao4, bump, 0x220),
        ROW(sh_difftex_ao6_bump, f_bump_ao6, bump, 0x240),
        ROW(sh_difftex_ao12_bump, f_bump_ao12, bump, 0x280),
        ROW(sh_difftex_tcgen_bump, f_bump, tcgen_bump, 0x300),
        ROW(sh_difftex_tcgen_ao4_bump, f_bump_ao4, tcgen_bump, 0x320),
        ROW(sh_difftex_tcgen_ao6_bump, f_bump_ao6, tcgen_bump, 0x340),
        ROW(sh_difftex_tcgen_ao12_bump, f_bump_ao12, tcgen_bump, 0x380),
        ROW(sh_blood, f_blood4, blood, 0x10),
        ROW(sh_blood_1, f_blood1, blood, 0x8),
        ROW(sh_shadow, f_black, shadow, 0x3),
        ROW(sh_shadow_floor, f_shadow_floor, shadow_floor, 0x3),
        ROW(sh_combine, f_combine, quad, 0x4),
        ROW(sh_smooth, f_smooth, quad, 0x4),
        ROW(sh_final, f_final, quad, 0x4),
        ROW(sh_gooch, f_gooch, lit, SHADER_LIGHTING_MODEL),
        ROW(sh_phong, f_phong, lit, SHADER_LIGHTING_MODEL),
        ROW(sh_goochtex, f_goochtex, lit_tex, SHADER_LIGHTING_MODEL),
        ROW(sh_phongtex, f_phongtex, lit_tex, SHADER_LIGHTING_MODEL),
        ROW(sh_goochtexbump, f_goochtexbump, bump, SHADER_LIGHTING_MODEL),
        ROW(sh_phongtexbump, f_phongtexbump, bump, SHADER_LIGHTING_MODEL),
        {nullptr, nullptr, nullptr, nullptr, 0, 0},
    };
    memcpy(program_rows_template, rows, sizeof rows);
    memcpy(ShaderProgramTable, rows, sizeof rows);
}
#undef ROW
#undef S

// The table is usable before the first compile (names, masks, sources).
static struct TableFiller {
    TableFiller() { fill_program_rows(); }
} table_filler;

const LightingModel LightingModelTable[] = {
    {"default", &active_programs.diffuse, &active_programs.diffuse_textured,
     &active_programs.bump},
    {nullptr, nullptr, nullptr, nullptr},
};
const LightingModel *current_lighting_model = &LightingModelTable[0];

int set_lighting_model(const char *name)
{
    if (!name)
        return 1;
    for (const LightingModel *m = LightingModelTable; m->name; m++) {
        if (strcmp(m->name, name) == 0) {
            current_lighting_model = m;
            return 0;
        }
    }
    return 1;
}

int render_option(int32_t *ref) { return ref ? *ref : 0; }

void lower_render_option(int32_t *ref)
{
    if (ref)
        *ref = 0;
}

// ---- building --------------------------------------------------------------------------

static bool have_program_api()
{
    return glCreateProgram && glCreateShader && glShaderSource && glCompileShader &&
           glAttachShader && glLinkProgram && glGetProgramiv && glDeleteShader &&
           glDeleteProgram;
}

void print_info_log(uint32_t object)
{
    if (!object || !glIsShader || !glIsProgram)
        return;
    GLint length = 0;
    bool shader = glIsShader(object);
    if (shader)
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    else if (glIsProgram(object))
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return;
    char *log = (char *)malloc((size_t)length + 1);
    if (!log)
        return;
    GLsizei written = 0;
    if (shader)
        glGetShaderInfoLog(object, length, &written, log);
    else
        glGetProgramInfoLog(object, length, &written, log);
    log[written < length ? written : length] = '\0';
    fprintf(stderr, "%s\n", log);
    free(log);
}

static GLuint compile_shader(GLenum kind, const char *source)
{
    GLuint shader = glCreateShader(kind);
    if (!shader)
        return 0;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        fprintf(stderr, "Shader compile failed:\n");
        print_info_log(shader);
    }
    return shader;
}

// Builds the program; *log_program receives the program for its log.
static GLuint build_program(const char *vertex_source, const char *fragment_source)
{
    if (!vertex_source || !fragment_source || !have_program_api())
        return 0;
    GLuint program = glCreateProgram();
    if (!program)
        return 0;
    GLuint vs = compile_shader(GL_VERTEX_SHADER, vertex_source);
    GLuint fs = compile_shader(GL_FRAGMENT_SHADER, fragment_source);
    if (vs)
        glAttachShader(program, vs);
    if (fs)
        glAttachShader(program, fs);
    glLinkProgram(program);
    // The program keeps the compiled code; the shader objects go with it.
    if (vs)
        glDeleteShader(vs);
    if (fs)
        glDeleteShader(fs);
    return program;
}

static int link_status(GLuint program)
{
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    return ok != 0;
}

uint32_t create_program(const char *vertex_source, const char *fragment_source)
{
    GLuint program = build_program(vertex_source, fragment_source);
    if (!program)
        return 0;
    if (!link_status(program)) {
        print_info_log(program);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

uint32_t link_program(const char *fragment_source, const char *vertex_source)
{
    GLuint program = build_program(vertex_source, fragment_source);
    if (!program) {
        renderer_error_flag = 1;
        return 0;
    }
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length > 1) {
        char *log = (char *)malloc((size_t)length + 1);
        if (log) {
            GLsizei written = 0;
            glGetProgramInfoLog(program, length, &written, log);
            log[written < length ? written : length] = '\0';
            fprintf(stderr, "Shader linking: %s\n", log);
            free(log);
        }
    }
    if (!link_status(program)) {
        glDeleteProgram(program);
        renderer_error_flag = 1;
        return 0;
    }
    return program;
}

char *read_text_file(const char *path)
{
    FILE *f = path ? open_read_file(path) : nullptr;
    if (!f)
        return nullptr;
    char *text = nullptr;
    long length = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        length = ftell(f);
    if (length > 0 && length < (64L << 20) && fseek(f, 0, SEEK_SET) == 0) {
        text = (char *)malloc((size_t)length + 1);
        if (text) {
            size_t got = fread(text, 1, (size_t)length, f);
            text[got] = '\0';
            if (got == 0) {
                free(text);
                text = nullptr;
            }
        }
    }
    fclose(f);
    return text;
}

uint32_t program_from_files(const char *vertex_path, const char *fragment_path)
{
    char *vs = read_text_file(vertex_path);
    char *fs = read_text_file(fragment_path);
    uint32_t program = 0;
    if (vs && fs)
        program = create_program(vs, fs);
    else
        fprintf(stderr, "Unable to read shader %s\n", !vs ? vertex_path : fragment_path);
    free(vs);
    free(fs);
    return program;
}

void delete_all_programs()
{
    for (int i = 0; i < SHADER_PROGRAMS; i++) {
        ShaderProgramEntry &row = program_rows_template[i];
        if (row.handle && *row.handle) {
            if (glDeleteProgram)
                glDeleteProgram((GLuint)*row.handle);
            *row.handle = 0;
        }
    }
    memcpy(ShaderProgramTable, program_rows_template, sizeof ShaderProgramTable);
    active_programs = ActivePrograms{};
    shader_levels = ShaderLevels{};
}

// ---- levels and the probe --------------------------------------------------------------

static bool row_compiled(const ShaderProgramEntry &row) { return row.compiled && row.handle; }

static const ShaderProgramEntry *row_named(const char *name)
{
    for (int i = 0; ShaderProgramTable[i].name; i++)
        if (strcmp(ShaderProgramTable[i].name, name) == 0)
            return &ShaderProgramTable[i];
    return nullptr;
}

static bool compiled_named(const char *name)
{
    const ShaderProgramEntry *row = row_named(name);
    return row && row_compiled(*row);
}

void summarise_shader_levels()
{
    ShaderLevels &l = shader_levels;
    l = ShaderLevels{};
    l.usable = 1;
    for (int i = 0; ShaderProgramTable[i].name; i++) {
        const ShaderProgramEntry &row = ShaderProgramTable[i];
        if ((row.mask & SHADER_BASE) && row.mask != SHADER_LIGHTING_MODEL && !row_compiled(row))
            l.usable = 0;
    }
    if (!l.usable)
        fprintf(stderr, "Unable to support shaders at all. You might want to try updating "
                        "your graphics driver if you have not done so.\n");
    l.tcgen = compiled_named("sh_difftex_tcgen") ? (uint32_t)SHADER_TCGEN : 0u;
    if (!l.tcgen) {
        if (l.usable)
            fprintf(stderr, "Texture coordinates cannot be generated in the vertex shader on "
                            "this driver; this is unusual, please report it with your "
                            "graphics card and driver version.\n");
        l.usable = 0;
    }
    for (int i = 0; ShaderProgramTable[i].name; i++) {
        const ShaderProgramEntry &row = ShaderProgramTable[i];
        if (!row_compiled(row))
            continue;
        if (row.mask == SHADER_LIGHTING_MODEL) {
            l.lighting_models = 1;
            continue;
        }
        uint32_t ao = row.mask & (SHADER_AO4 | SHADER_AO6 | SHADER_AO12);
        if (ao > l.ambient_occlusion)
            l.ambient_occlusion = ao;
        uint32_t fluid = row.mask & (SHADER_FLUID_1 | SHADER_FLUID_4);
        if (fluid > l.fluid)
            l.fluid = fluid;
        if (row.mask & SHADER_MOTION_BLUR)
            l.motion_blur = SHADER_MOTION_BLUR;
    }
    l.bump = compiled_named("sh_difftex_bump") ? (uint32_t)SHADER_BUMP : 0u;
}

static int32_t handle_of(const char *name)
{
    const ShaderProgramEntry *row = row_named(name);
    return row && row_compiled(*row) ? *row->handle : 0;
}

// The occluder level (0x80, 0x40, 0x20) whose every program compiled, for
// the programs named by the pattern list; 0 when none.
static uint32_t best_occluder_level(const char *const (*names)[3], int count)
{
    static const uint32_t levels[3] = {SHADER_AO12, SHADER_AO6, SHADER_AO4};
    for (int k = 0; k < 3; k++) {
        bool all = true;
        for (int i = 0; i < count && all; i++)
            all = compiled_named(names[i][k]);
        if (all)
            return levels[k];
    }
    return 0;
}

static int level_column(uint32_t level)
{
    if (level == (uint32_t)SHADER_AO12)
        return 0;
    return level == (uint32_t)SHADER_AO6 ? 1 : 2;
}
static const char *level_text(uint32_t level)
{
    if (level == (uint32_t)SHADER_AO12)
        return "12";
    return level == (uint32_t)SHADER_AO6 ? "6" : "4";
}

void probe_shader_support()
{
    RenderOptionRefs &o = render_option_refs;
    ActivePrograms &a = active_programs;
    if (render_option(o.shaders)) {
        if (shader_levels.usable) {
            a.simple = handle_of("sh_simp");
            a.simple_sun = handle_of("sh_simpd");
            a.simple_textured = handle_of("sh_simptex");
            a.simple_textured_sun = handle_of("sh_simpdtex");
            a.diffuse = handle_of("sh_diff");
            a.diffuse_textured = handle_of("sh_difftex");
            a.ground = handle_of("sh_ground");
            a.copy = handle_of("sh_copy");
            a.ghost = handle_of("sh_ghost");
            a.texture_colour = handle_of("sh_topsimptex");
            a.stain = handle_of("sh_stain");
            a.stain_copy = handle_of("sh_staincopy");
            a.shadow = handle_of("sh_shadow");
            a.shadow_floor = handle_of("sh_shadow_floor");
            a.tcgen = handle_of("sh_difftex_tcgen");
        } else {
            lower_render_option(o.shaders);
        }
    }
    if (render_option(o.softshadow)) {
        static const char *const ground[4] = {"sh_ground", "sh_ground_ao4", "sh_ground_ao6",
                                              "sh_ground_ao12"};
        uint32_t best = 0;
        int32_t program = 0;
        for (const char *name : ground) {
            const ShaderProgramEntry *row = row_named(name);
            if (row && row_compiled(*row) && (!program || row->mask > best)) {
                best = row->mask;
                program = *row->handle;
            }
        }
        if (program)
            a.ground = program;
    }
    if (render_option(o.fluid)) {
        if (shader_levels.fluid == SHADER_FLUID_4 && compiled_named("sh_blood")) {
            fprintf(stderr, "Fluid blood supported (level 4 of 4)\n");
            a.fluid_blood = handle_of("sh_blood");
        } else if (compiled_named("sh_blood_1")) {
            fprintf(stderr, "Fluid blood supported (level 1 of 4)\n");
            a.fluid_blood = handle_of("sh_blood_1");
        } else {
            fprintf(stderr, "Fluid blood not supported (level 0 of 4)\n");
            lower_render_option(o.fluid);
        }
    }
    int bump = render_option(o.bumpmapping);
    int ao = render_option(o.ambientocclusion);
    if (bump && !ao) {
        if (compiled_named("sh_difftex_bump") && compiled_named("sh_difftex_tcgen_bump")) {
            fprintf(stderr, "Bumpmapping supported\n");
            a.bump = handle_of("sh_difftex_bump");
            a.tcgen_bump = handle_of("sh_difftex_tcgen_bump");
        } else {
            fprintf(stderr, "Bumpmapping not supported\n");
            lower_render_option(o.bumpmapping);
        }
    }
    if (ao && !bump) {
        // A level counts only when every program it assigns compiled.
        static const char *const names[3][3] = {
            {"sh_diff_ao12", "sh_diff_ao6", "sh_diff_ao4"},
            {"sh_difftex_ao12", "sh_difftex_ao6", "sh_difftex_ao4"},
            {"sh_difftex_tcgen_ao12", "sh_difftex_tcgen_ao6", "sh_difftex_tcgen_ao4"},
        };
        uint32_t level = best_occluder_level(names, 3);
        if (level) {
            int k = level_column(level);
            fprintf(stderr, "Ambient Occlusion supported (level %s of 12)\n", level_text(level));
            a.diffuse = handle_of(names[0][k]);
            a.diffuse_textured = handle_of(names[1][k]);
            a.tcgen = handle_of(names[2][k]);
        } else {
            fprintf(stderr, "Ambient Occlusion not supported (level 0 of 12)\n");
            lower_render_option(o.ambientocclusion);
        }
    }
    if (ao && bump) {
        static const char *const names[5][3] = {
            {"sh_diff_ao12", "sh_diff_ao6", "sh_diff_ao4"},
            {"sh_difftex_ao12", "sh_difftex_ao6", "sh_difftex_ao4"},
            {"sh_difftex_ao12_bump", "sh_difftex_ao6_bump", "sh_difftex_ao4_bump"},
            {"sh_difftex_tcgen_ao12", "sh_difftex_tcgen_ao6", "sh_difftex_tcgen_ao4"},
            {"sh_difftex_tcgen_ao12_bump", "sh_difftex_tcgen_ao6_bump",
             "sh_difftex_tcgen_ao4_bump"},
        };
        uint32_t level = best_occluder_level(names, 5);
        if (level) {
            int k = level_column(level);
            fprintf(stderr, "Ambient Occlusion + Bumpmapping supported (level %s of 12)\n",
                    level_text(level));
            a.diffuse = handle_of(names[0][k]);
            a.diffuse_textured = handle_of(names[1][k]);
            a.bump = handle_of(names[2][k]);
            a.tcgen = handle_of(names[3][k]);
            a.tcgen_bump = handle_of(names[4][k]);
        } else {
            fprintf(stderr, "Ambient Occlusion + Bumpmapping (together) not supported (level 0 "
                            "of 12) - try enabling 1 by 1\n");
            lower_render_option(o.ambientocclusion);
            lower_render_option(o.bumpmapping);
        }
    }
    if (render_option(o.motionblur)) {
        bool all = true;
        for (int i = 0; ShaderProgramTable[i].name; i++) {
            const ShaderProgramEntry &row = ShaderProgramTable[i];
            if (row.mask != SHADER_LIGHTING_MODEL && (row.mask & SHADER_MOTION_BLUR) &&
                !row_compiled(row))
                all = false;
        }
        if (all) {
            fprintf(stderr, "Motion blur -might- be supported! Attempting to init...\n");
            a.combine = handle_of("sh_combine");
            a.smooth = handle_of("sh_smooth");
            a.final_blur = handle_of("sh_final");
        } else {
            fprintf(stderr, "Motion Blur not supported!\n");
            lower_render_option(o.motionblur);
        }
    }
}

int compile_all_programs()
{
    delete_all_programs();
    for (int i = 0; ShaderProgramTable[i].name; i++) {
        ShaderProgramEntry &row = ShaderProgramTable[i];
        uint32_t handle = create_program(row.vertex_source, row.fragment_source);
        if (handle) {
            *row.handle = (int32_t)handle;
            row.compiled = 1;
        } else {
            fprintf(stderr, "Shader program %s did not link\n", row.name);
            row.handle = nullptr;
        }
    }
    summarise_shader_levels();
    probe_shader_support();
    return shader_levels.usable == 0;
}

// ---- using programs ------------------------------------------------------------------------

void use_program(int32_t program)
{
    if (glUseProgram)
        glUseProgram((GLuint)program);
}

int uniform_location(int32_t program, const char *name)
{
    if (!program || !name || !glGetUniformLocation)
        return -1;
    return glGetUniformLocation((GLuint)program, name);
}

// Uniforms are set on the current program; the given one is made current
// for the call and the previous one restored.
template <typename F> static void with_uniform(int32_t program, const char *name, F set)
{
    int location = uniform_location(program, name);
    if (location < 0)
        return;
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    if (current != program)
        glUseProgram((GLuint)program);
    set(location);
    if (current != program)
        glUseProgram((GLuint)current);
}

void set_uniform_1i(int32_t program, const char *name, int value)
{
    with_uniform(program, name, [&](int l) { glUniform1i(l, value); });
}
void set_uniform_1f(int32_t program, const char *name, float x)
{
    with_uniform(program, name, [&](int l) { glUniform1f(l, x); });
}
void set_uniform_2f(int32_t program, const char *name, float x, float y)
{
    with_uniform(program, name, [&](int l) { glUniform2f(l, x, y); });
}
void set_uniform_3f(int32_t program, const char *name, float x, float y, float z)
{
    with_uniform(program, name, [&](int l) { glUniform3f(l, x, y, z); });
}
void set_uniform_3fv(int32_t program, const char *name, const float v[3])
{
    with_uniform(program, name, [&](int l) { glUniform3fv(l, 1, v); });
}
void set_uniform_4f(int32_t program, const char *name, float x, float y, float z, float w)
{
    with_uniform(program, name, [&](int l) { glUniform4f(l, x, y, z, w); });
}
void set_uniform_4fv(int32_t program, const char *name, const float v[4])
{
    with_uniform(program, name, [&](int l) { glUniform4fv(l, 1, v); });
}
void set_uniform_matrix4(int32_t program, const char *name, const float m[16])
{
    with_uniform(program, name, [&](int l) { glUniformMatrix4fv(l, 1, GL_FALSE, m); });
}

void set_uniform_occluders(int32_t program, const float (*occluders)[4], int count)
{
    static const char *const names[12] = {"occa", "occb", "occc", "occd", "occe", "occf",
                                          "occg", "occh", "occi", "occj", "occk", "occl"};
    if (count < 0)
        count = 0;
    for (int i = 0; i < 12; i++) {
        static const float zero[4] = {0, 0, 0, 0};
        set_uniform_4fv(program, names[i], i < count && occluders ? occluders[i] : zero);
    }
}

void set_uniform_samplers8(int32_t program)
{
    static const char *const names[8] = {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7"};
    for (int i = 0; i < 8; i++)
        set_uniform_1i(program, names[i], i);
}

// ---- the shader path on and off -------------------------------------------------------

int set_shaders_enabled(int on)
{
    int32_t *option = render_option_refs.shaders;
    if (!on) {
        shaders_active = 0;
        if (option)
            *option = 0;
        if (render_outward.free_shader_renderer)
            render_outward.free_shader_renderer();
        restore_clear_color();
        return 0;
    }
    if (shaders_active && render_option(option))
        return 0;
    shaders_active = 0;
    if (!render_resources_loaded) {
        // No context yet: the request is kept in the option and carried
        // out when the renderer loads its resources.
        if (option)
            *option = 1;
        return 0;
    }
    if (!render_outward.init_shader_renderer) {
        if (option)
            *option = 0;
        echo_message("Shaders are not available in this build", MSG_INGAME);
        return 1;
    }
    // What an earlier set-up left goes first, so that nothing is made twice.
    if (render_outward.free_shader_renderer)
        render_outward.free_shader_renderer();
    if (option)
        *option = 1;
    render_outward.init_shader_renderer();
    if (!shaders_active || !render_option(option)) {
        shaders_active = 0;
        if (option)
            *option = 0;
        if (render_outward.free_shader_renderer)
            render_outward.free_shader_renderer();
        restore_clear_color();
        echo_message("Shaders could not be started on this graphics driver; they stay off",
                     MSG_INGAME);
        return 1;
    }
    return 0;
}
