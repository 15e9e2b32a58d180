#include "render/glsl_sources.h"

#define GLSL_HEAD "#version 120\n"

// ---- shared pieces ----------------------------------------------------------------------

// Object to world: the capsule stretch, then texture matrix 0.
#define GLSL_WORLD                                                            \
    "uniform vec4 konstant;\n"                                                \
    "vec4 world_position() {\n"                                               \
    "  vec4 p = gl_Vertex;\n"                                                 \
    "  p.z += p.z < 0.0 ? -konstant.x : konstant.x;\n"                        \
    "  return gl_TextureMatrix[0] * p;\n"                                     \
    "}\n"                                                                     \
    "vec3 world_normal() {\n"                                                 \
    "  return normalize(mat3(gl_TextureMatrix[0]) * gl_Normal);\n"            \
    "}\n"

#define GLSL_LIT_VARYINGS                                                     \
    "varying vec3 globalpos;\n"                                               \
    "varying vec3 cameragpos;\n"                                              \
    "varying vec3 gnormal;\n"                                                 \
    "varying vec4 vcolor;\n"                                                  \
    "varying vec2 texcoord;\n"

#define GLSL_LIT_MAIN_BEGIN                                                   \
    "uniform vec4 globalcolor;\n"                                             \
    "void main() {\n"                                                         \
    "  vec4 w = world_position();\n"                                          \
    "  globalpos = w.xyz;\n"                                                  \
    "  cameragpos = (gl_ModelViewMatrixInverse * vec4(0.0, 0.0, 0.0, 1.0)).xyz;\n" \
    "  gnormal = world_normal();\n"                                           \
    "  vcolor = any(notEqual(globalcolor, vec4(0.0))) ? globalcolor : gl_Color;\n" \
    "  gl_FrontColor = gl_Color;\n"                                           \
    "  gl_Position = gl_ModelViewProjectionMatrix * w;\n"

// The tangent frame of a world normal.
#define GLSL_TANGENT_FRAME                                                    \
    "varying vec3 n;\n"                                                       \
    "varying vec3 t;\n"                                                       \
    "varying vec3 b;\n"                                                       \
    "void tangent_frame(vec3 nn) {\n"                                         \
    "  vec3 tt = cross(nn, vec3(0.0, 0.0, 1.0));\n"                           \
    "  vec3 t2 = cross(nn, vec3(0.0, 1.0, 0.0));\n"                           \
    "  if (dot(t2, t2) > dot(tt, tt)) tt = t2;\n"                             \
    "  t = normalize(tt);\n"                                                  \
    "  b = cross(nn, t);\n"                                                   \
    "  n = nn;\n"                                                             \
    "}\n"

// Occluder shading: the sum subtracted for `count` occluders.
#define GLSL_OCCLUDERS_DECL                                                   \
    "uniform vec4 occa, occb, occc, occd, occe, occf, occg, occh, occi, occj, occk, occl;\n" \
    "float occlusion(vec4 o, vec3 pos, vec3 nrm, vec3 l) {\n"                 \
    "  vec3 r = o.xyz - pos;\n"                                               \
    "  float lr = length(r);\n"                                               \
    "  if (lr < 1e-6 || o.w <= 0.0) return 0.0;\n"                            \
    "  float d = dot(nrm, r) + o.w;\n"                                        \
    "  float bb = dot(r, l) / lr * 0.5 + 0.5;\n"                              \
    "  float k = 1.0 / (lr + o.w);\n"                                         \
    "  return max(bb * d * k * k * k * o.w * o.w * 2.0, 0.0);\n"              \
    "}\n"                                                                     \
    "float occluded(vec3 pos, vec3 nrm, vec3 l) {\n"                          \
    "  float s = occlusion(occa, pos, nrm, l) + occlusion(occb, pos, nrm, l)\n" \
    "          + occlusion(occc, pos, nrm, l) + occlusion(occd, pos, nrm, l);\n" \
    "#if OCCLUDERS > 4\n"                                                     \
    "  s += occlusion(occe, pos, nrm, l) + occlusion(occf, pos, nrm, l);\n"   \
    "#endif\n"                                                                \
    "#if OCCLUDERS > 6\n"                                                     \
    "  s += occlusion(occg, pos, nrm, l) + occlusion(occh, pos, nrm, l)\n"    \
    "     + occlusion(occi, pos, nrm, l) + occlusion(occj, pos, nrm, l)\n"    \
    "     + occlusion(occk, pos, nrm, l) + occlusion(occl, pos, nrm, l);\n"   \
    "#endif\n"                                                                \
    "  return s;\n"                                                           \
    "}\n"

#define OCC4 "#define OCCLUDERS 4\n"
#define OCC6 "#define OCCLUDERS 6\n"
#define OCC12 "#define OCCLUDERS 12\n"

// Fog toward the background by camera distance: fogcolor.w is the density
// (negative), the factor exp(distance x density). The distance is measured
// per fragment from the interpolated eye-space position, so one large
// triangle (the floor quad) fogs by each pixel's own distance.
#define GLSL_FOG                                                              \
    "uniform vec4 backgroundcolor;\n"                                         \
    "uniform vec4 fogcolor;\n"                                                \
    "vec3 fogged(vec3 c, float dist) {\n"                                     \
    "  float f = clamp(exp(dist * fogcolor.w), 0.0, 1.0);\n"                  \
    "  return c * f + (fogcolor.rgb + backgroundcolor.rgb) * (1.0 - f);\n"    \
    "}\n"

// ---- vertex sources -----------------------------------------------------------------------

static const char V_LIT[] = GLSL_HEAD GLSL_WORLD GLSL_LIT_VARYINGS GLSL_LIT_MAIN_BEGIN
    "  texcoord = vec2(0.0);\n"
    "}\n";

static const char V_LIT_TEX[] = GLSL_HEAD GLSL_WORLD GLSL_LIT_VARYINGS GLSL_LIT_MAIN_BEGIN
    "  texcoord = gl_MultiTexCoord0.xy;\n"
    "}\n";

static const char V_TCGEN[] = GLSL_HEAD GLSL_WORLD GLSL_LIT_VARYINGS
    "uniform mat4 rotmat;\n" GLSL_LIT_MAIN_BEGIN
    "  vec4 g = rotmat * vec4(gl_Vertex.xyz, 1.0);\n"
    "  texcoord = g.xy * 0.5 + 0.5;\n"
    "}\n";

static const char V_BUMP[] = GLSL_HEAD GLSL_WORLD GLSL_LIT_VARYINGS GLSL_TANGENT_FRAME
    GLSL_LIT_MAIN_BEGIN
    "  tangent_frame(gnormal);\n"
    "  texcoord = gl_MultiTexCoord0.xy;\n"
    "}\n";

static const char V_TCGEN_BUMP[] = GLSL_HEAD GLSL_WORLD GLSL_LIT_VARYINGS GLSL_TANGENT_FRAME
    "uniform mat4 rotmat;\n" GLSL_LIT_MAIN_BEGIN
    "  tangent_frame(gnormal);\n"
    "  vec4 g = rotmat * vec4(gl_Vertex.xyz, 1.0);\n"
    "  texcoord = g.xy * 0.5 + 0.5;\n"
    "}\n";

static const char V_GROUND[] = GLSL_HEAD
    "uniform vec4 konstant;\n"
    "varying vec3 globalpos;\n"
    "varying vec3 gnormal;\n"
    "varying vec4 vcolor;\n"
    "void main() {\n"
    "  vec4 p = gl_Vertex;\n"
    "  p.z += p.z < 0.0 ? -konstant.x : konstant.x;\n"
    "  vec4 w = gl_TextureMatrix[0] * p;\n"
    "  globalpos = w.xyz;\n"
    "  gnormal = normalize(mat3(gl_TextureMatrix[0]) * gl_Normal);\n"
    "  vcolor = gl_Color;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  w.z *= 1.0 + konstant.z;\n"
    "  gl_Position = gl_ModelViewProjectionMatrix * w;\n"
    "}\n";

static const char V_COPY[] = GLSL_HEAD
    "varying vec4 screenpos;\n"
    "varying vec3 eyepos;\n"
    "void main() {\n"
    "  vec4 w = gl_TextureMatrix[0] * gl_Vertex;\n"
    "  vec4 e = gl_ModelViewMatrix * w;\n"
    "  eyepos = e.xyz;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = gl_ProjectionMatrix * e;\n"
    "  screenpos = gl_Position;\n"
    "}\n";

static const char V_GHOST[] = GLSL_HEAD GLSL_WORLD
    "varying vec3 eyenormal;\n"
    "void main() {\n"
    "  eyenormal = normalize(gl_NormalMatrix * world_normal());\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = gl_ModelViewProjectionMatrix * world_position();\n"
    "}\n";

static const char V_STAIN[] = GLSL_HEAD
    "varying vec3 tc0;\n"
    "varying vec3 tc1;\n"
    "void main() {\n"
    "  tc0 = gl_MultiTexCoord0.xyz;\n"
    "  tc1 = gl_MultiTexCoord1.xyz;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// A strand of blood: a camera-facing quad around the particle, its long
// side along the strand (from the previous to the next neighbour).
static const char V_BLOOD[] = GLSL_HEAD
    "uniform float move;\n"
    "varying vec2 corner;\n"
    "void main() {\n"
    "  vec3 dir = gl_MultiTexCoord0.xyz;\n"
    "  vec4 e = gl_ModelViewMatrix * vec4(gl_Vertex.xyz + dir * move, 1.0);\n"
    "  vec3 prev = gl_MultiTexCoord1.w > 0.011 ? gl_MultiTexCoord1.xyz : gl_Vertex.xyz;\n"
    "  vec3 next = gl_MultiTexCoord2.w > 0.011 ? gl_MultiTexCoord2.xyz : gl_Vertex.xyz;\n"
    "  vec3 along = mat3(gl_ModelViewMatrix) * (next - prev + dir * 0.01);\n"
    "  vec2 a = along.xy;\n"
    "  a = dot(a, a) > 1e-10 ? normalize(a) : vec2(1.0, 0.0);\n"
    "  vec2 side = vec2(-a.y, a.x);\n"
    "  float stretch = 1.0 + min(length(along.xy), 4.0 * gl_MultiTexCoord0.w + 0.2);\n"
    "  vec2 off = gl_Normal.xy;\n"
    "  e.xy += a * off.x * stretch * 0.5 + side * off.y * 0.5;\n"
    "  corner = sign(off);\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = gl_ProjectionMatrix * e;\n"
    "}\n";

// Shadow volumes: vertices of faces turned away from the light are pushed
// far along it.
static const char V_SHADOW[] = GLSL_HEAD GLSL_WORLD
    "uniform vec3 vlightdir;\n"
    "void main() {\n"
    "  vec4 w = world_position();\n"
    "  vec3 nn = world_normal();\n"
    "  if (dot(nn, vlightdir) < 0.0) w.xyz -= normalize(vlightdir) * 500.0;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = gl_ModelViewProjectionMatrix * w;\n"
    "}\n";

// The shape flattened onto the floor along the light.
static const char V_SHADOW_FLOOR[] = GLSL_HEAD GLSL_WORLD
    "uniform vec3 vlightdir;\n"
    "varying vec3 eyepos;\n"
    "varying vec4 screenpos;\n"
    "void main() {\n"
    "  vec4 w = world_position();\n"
    "  float lz = abs(vlightdir.z) > 1e-3 ? vlightdir.z : 1e-3;\n"
    "  w.xy -= vlightdir.xy * (w.z / lz);\n"
    "  w.z = 0.001;\n"
    "  vec4 e = gl_ModelViewMatrix * w;\n"
    "  eyepos = e.xyz;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = gl_ProjectionMatrix * e;\n"
    "  screenpos = gl_Position;\n"
    "}\n";

static const char V_QUAD[] = GLSL_HEAD
    "varying vec2 uv;\n"
    "void main() {\n"
    "  uv = gl_MultiTexCoord0.xy;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// ---- fragment sources -----------------------------------------------------------------------

#define GLSL_LIT_IN                                                           \
    "varying vec3 globalpos;\n"                                               \
    "varying vec3 cameragpos;\n"                                              \
    "varying vec3 gnormal;\n"                                                 \
    "varying vec4 vcolor;\n"                                                  \
    "varying vec2 texcoord;\n"

static const char F_DIFFUSE[] = GLSL_HEAD GLSL_LIT_IN
    "uniform vec3 lightdir;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  gl_FragColor = vec4(vcolor.rgb * (dot(nn, lightdir) * 0.3 + 0.7), vcolor.a);\n"
    "}\n";

static const char F_DIFFTEX[] = GLSL_HEAD GLSL_LIT_IN
    "uniform vec3 lightdir;\n"
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec4 c = vec4(vcolor.rgb * (dot(nn, lightdir) * 0.3 + 0.7), vcolor.a);\n"
    "  gl_FragColor = c * texture2D(texture0, texcoord);\n"
    "}\n";

#define GLSL_DIFF_AO_BODY                                                     \
    GLSL_LIT_IN GLSL_OCCLUDERS_DECL                                           \
    "uniform vec3 lightdir;\n"                                                \
    "void main() {\n"                                                         \
    "  vec3 nn = normalize(gnormal);\n"                                       \
    "  float i = dot(nn, lightdir) * 0.3 + 0.7 - occluded(globalpos, nn, lightdir);\n" \
    "  gl_FragColor = vec4(vcolor.rgb * max(i, 0.0), vcolor.a);\n"            \
    "}\n"

#define GLSL_DIFFTEX_AO_BODY                                                  \
    GLSL_LIT_IN GLSL_OCCLUDERS_DECL                                           \
    "uniform vec3 lightdir;\n"                                                \
    "uniform sampler2D texture0;\n"                                           \
    "void main() {\n"                                                         \
    "  vec3 nn = normalize(gnormal);\n"                                       \
    "  float i = dot(nn, lightdir) * 0.3 + 0.7 - occluded(globalpos, nn, lightdir);\n" \
    "  gl_FragColor = vec4(vcolor.rgb * max(i, 0.0), vcolor.a) * texture2D(texture0, texcoord);\n" \
    "}\n"

static const char F_DIFF_AO4[] = GLSL_HEAD OCC4 GLSL_DIFF_AO_BODY;
static const char F_DIFF_AO6[] = GLSL_HEAD OCC6 GLSL_DIFF_AO_BODY;
static const char F_DIFF_AO12[] = GLSL_HEAD OCC12 GLSL_DIFF_AO_BODY;
static const char F_DIFFTEX_AO4[] = GLSL_HEAD OCC4 GLSL_DIFFTEX_AO_BODY;
static const char F_DIFFTEX_AO6[] = GLSL_HEAD OCC6 GLSL_DIFFTEX_AO_BODY;
static const char F_DIFFTEX_AO12[] = GLSL_HEAD OCC12 GLSL_DIFFTEX_AO_BODY;

// The ground: black with alpha 1 - intensity (the occluders' shade).
#define GLSL_GROUND_BODY                                                      \
    "varying vec3 globalpos;\n"                                               \
    "varying vec3 gnormal;\n"                                                 \
    "varying vec4 vcolor;\n"                                                  \
    GLSL_OCCLUDERS_DECL                                                       \
    "void main() {\n"                                                         \
    "  vec3 l = normalize(vec3(0.0, 0.701, 0.701));\n"                        \
    "  float s = occluded(globalpos, vec3(0.0, 0.0, 1.0), l);\n"              \
    "  gl_FragColor = vec4(0.0, 0.0, 0.0, clamp(s, 0.0, 1.0));\n"             \
    "}\n"

static const char F_GROUND[] = GLSL_HEAD
    "varying vec3 globalpos;\n"
    "varying vec3 gnormal;\n"
    "varying vec4 vcolor;\n"
    "void main() {\n"
    "  gl_FragColor = vec4(0.0, 0.0, 0.0, 0.0);\n"
    "}\n";
static const char F_GROUND_AO4[] = GLSL_HEAD OCC4 GLSL_GROUND_BODY;
static const char F_GROUND_AO6[] = GLSL_HEAD OCC6 GLSL_GROUND_BODY;
static const char F_GROUND_AO12[] = GLSL_HEAD OCC12 GLSL_GROUND_BODY;

// Copy: the colour times texture0 at the fragment's screen position, fogged.
static const char F_COPY[] = GLSL_HEAD GLSL_FOG
    "uniform sampler2D texture0;\n"
    "varying vec4 screenpos;\n"
    "varying vec3 eyepos;\n"
    "void main() {\n"
    "  vec2 uv = screenpos.xy / screenpos.w * 0.5 + 0.5;\n"
    "  vec4 c = gl_Color * texture2D(texture0, uv);\n"
    "  gl_FragColor = vec4(fogged(c.rgb, length(eyepos)), c.a);\n"
    "}\n";

static const char F_SHADOW_FLOOR[] = GLSL_HEAD GLSL_FOG
    "uniform sampler2D texture0;\n"
    "varying vec4 screenpos;\n"
    "varying vec3 eyepos;\n"
    "void main() {\n"
    "  float f = clamp(exp(length(eyepos) * fogcolor.w), 0.0, 1.0);\n"
    "  gl_FragColor = vec4(gl_Color.rgb * f, gl_Color.a);\n"
    "}\n";

static const char F_GHOST[] = GLSL_HEAD
    "varying vec3 eyenormal;\n"
    "void main() {\n"
    "  gl_FragColor = vec4(gl_Color.rgb * abs(normalize(eyenormal).z), gl_Color.a);\n"
    "}\n";

static const char F_SIMPLE[] = GLSL_HEAD GLSL_LIT_IN
    "uniform vec3 lightdir;\n"
    "uniform vec2 lightfov;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  gl_FragColor = vec4(vcolor.rgb * (dot(nn, lightdir) * lightfov.x + lightfov.y), vcolor.a);\n"
    "}\n";

static const char F_SIMPTEX[] = GLSL_HEAD GLSL_LIT_IN
    "uniform vec3 lightdir;\n"
    "uniform vec2 lightfov;\n"
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec4 c = vec4(vcolor.rgb * (dot(nn, lightdir) * lightfov.x + lightfov.y), vcolor.a);\n"
    "  gl_FragColor = c * texture2D(texture0, texcoord);\n"
    "}\n";

static const char F_TOPSIMPTEX[] = GLSL_HEAD GLSL_LIT_IN
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  gl_FragColor = vcolor * texture2D(texture0, texcoord);\n"
    "}\n";

#define GLSL_SUN_LIGHT                                                        \
    "uniform vec3 lightdir;\n"                                                \
    "uniform vec2 lightfov;\n"                                                \
    "uniform vec3 lightdir_sun;\n"                                            \
    "uniform vec4 sun_color;\n"                                               \
    "uniform vec4 ambient_color;\n"                                           \
    "vec3 sun_lit(vec3 nn) {\n"                                               \
    "  return ambient_color.rgb * (dot(nn, lightdir) * lightfov.x + lightfov.y)\n" \
    "       + sun_color.rgb * max(dot(nn, lightdir_sun), 0.0);\n"             \
    "}\n"

static const char F_SIMPD[] = GLSL_HEAD GLSL_LIT_IN GLSL_SUN_LIGHT
    "void main() {\n"
    "  gl_FragColor = vec4(vcolor.rgb * sun_lit(normalize(gnormal)), vcolor.a);\n"
    "}\n";

static const char F_SIMPDTEX[] = GLSL_HEAD GLSL_LIT_IN GLSL_SUN_LIGHT
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec4 c = vec4(vcolor.rgb * sun_lit(normalize(gnormal)), vcolor.a);\n"
    "  gl_FragColor = c * texture2D(texture0, texcoord);\n"
    "}\n";

// A splat in the stain map: tc0 the offset from the blot centre (in blot
// radii) and the strength in z, tc1 the blot colour.
static const char F_STAIN[] = GLSL_HEAD
    "varying vec3 tc0;\n"
    "varying vec3 tc1;\n"
    "void main() {\n"
    "  float len2 = dot(tc0.xy, tc0.xy);\n"
    "  float s = max((1.0 / (len2 + 0.1) - 1.0 / 1.1) * tc0.z, 0.0);\n"
    "  gl_FragColor = vec4(s, s, s, s);\n"
    "}\n";

static const char F_STAINCOPY[] = GLSL_HEAD
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(texture0, gl_TexCoord[0].xy) * gl_Color;\n"
    "}\n";

// The normal map on unit 1 in the tangent frame; the colour texture on
// unit 0 when use_texture0 is set.
#define GLSL_BUMP_SAMPLING                                                    \
    "varying vec3 n;\n"                                                       \
    "varying vec3 t;\n"                                                       \
    "varying vec3 b;\n"                                                       \
    "uniform sampler2D texture0;\n"                                           \
    "uniform sampler2D texture1;\n"                                           \
    "uniform int use_texture0;\n"                                             \
    "vec3 bumped_normal() {\n"                                                \
    "  vec3 m = texture2D(texture1, texcoord).xyz * 2.0 - 1.0;\n"             \
    "  return normalize(normalize(t) * m.x + normalize(b) * m.y + normalize(n) * m.z);\n" \
    "}\n"                                                                     \
    "vec4 base_colour() {\n"                                                  \
    "  return use_texture0 != 0 ? vcolor * texture2D(texture0, texcoord) : vcolor;\n" \
    "}\n"

#define GLSL_BUMP_IN GLSL_LIT_IN "uniform vec3 lightdir;\n" GLSL_BUMP_SAMPLING

static const char F_BUMP[] = GLSL_HEAD GLSL_BUMP_IN
    "void main() {\n"
    "  vec4 c = base_colour();\n"
    "  gl_FragColor = vec4(c.rgb * (dot(bumped_normal(), lightdir) * 0.3 + 0.7), c.a);\n"
    "}\n";

#define GLSL_BUMP_AO_BODY                                                     \
    GLSL_BUMP_IN GLSL_OCCLUDERS_DECL                                          \
    "void main() {\n"                                                         \
    "  vec4 c = base_colour();\n"                                             \
    "  vec3 nn = bumped_normal();\n"                                          \
    "  float i = dot(nn, lightdir) * 0.3 + 0.7 - occluded(globalpos, normalize(n), lightdir);\n" \
    "  gl_FragColor = vec4(c.rgb * max(i, 0.0), c.a);\n"                      \
    "}\n"

static const char F_BUMP_AO4[] = GLSL_HEAD OCC4 GLSL_BUMP_AO_BODY;
static const char F_BUMP_AO6[] = GLSL_HEAD OCC6 GLSL_BUMP_AO_BODY;
static const char F_BUMP_AO12[] = GLSL_HEAD OCC12 GLSL_BUMP_AO_BODY;

// Blood: a round blob on the quad, lit (level 4) or flat (level 1).
static const char F_BLOOD4[] = GLSL_HEAD
    "uniform vec4 lightdir;\n"
    "uniform vec4 mirrorcolor;\n"
    "varying vec2 corner;\n"
    "void main() {\n"
    "  float r2 = dot(corner, corner);\n"
    "  if (r2 > 1.0) discard;\n"
    "  vec3 nn = vec3(corner, sqrt(1.0 - r2));\n"
    "  vec3 l = dot(lightdir.xyz, lightdir.xyz) > 1e-8 ? normalize(lightdir.xyz) : vec3(0.0, 0.0, 1.0);\n"
    "  float d = max(dot(nn, l), 0.0);\n"
    "  float spec = pow(max(dot(reflect(-l, nn), vec3(0.0, 0.0, 1.0)), 0.0), 16.0);\n"
    "  vec3 c = gl_Color.rgb * (0.55 + 0.45 * d) + vec3(spec * 0.5);\n"
    "  gl_FragColor = vec4(c, gl_Color.a) * mirrorcolor;\n"
    "}\n";

static const char F_BLOOD1[] = GLSL_HEAD
    "uniform vec4 lightdir;\n"
    "uniform vec4 mirrorcolor;\n"
    "varying vec2 corner;\n"
    "void main() {\n"
    "  if (dot(corner, corner) > 1.0) discard;\n"
    "  gl_FragColor = gl_Color * mirrorcolor;\n"
    "}\n";

static const char F_BLACK[] = GLSL_HEAD
    "void main() {\n"
    "  gl_FragColor = vec4(0.0, 0.0, 0.0, 0.0);\n"
    "}\n";

#define GLSL_SAMPLERS8                                                        \
    "uniform sampler2D s0, s1, s2, s3, s4, s5, s6, s7;\n"                     \
    "varying vec2 uv;\n"

// The average of the eight sub-frames.
static const char F_COMBINE[] = GLSL_HEAD GLSL_SAMPLERS8
    "void main() {\n"
    "  vec4 c = texture2D(s0, uv) + texture2D(s1, uv) + texture2D(s2, uv) + texture2D(s3, uv)\n"
    "         + texture2D(s4, uv) + texture2D(s5, uv) + texture2D(s6, uv) + texture2D(s7, uv);\n"
    "  gl_FragColor = c * 0.125;\n"
    "}\n";

// A small blur of s0.
static const char F_SMOOTH[] = GLSL_HEAD GLSL_SAMPLERS8
    "void main() {\n"
    "  vec2 d = vec2(0.002, 0.002);\n"
    "  vec4 c = texture2D(s0, uv) * 4.0\n"
    "         + texture2D(s0, uv + vec2(d.x, 0.0)) + texture2D(s0, uv - vec2(d.x, 0.0))\n"
    "         + texture2D(s0, uv + vec2(0.0, d.y)) + texture2D(s0, uv - vec2(0.0, d.y));\n"
    "  gl_FragColor = c * 0.125;\n"
    "}\n";

// The blurred frame over the window.
static const char F_FINAL[] = GLSL_HEAD GLSL_SAMPLERS8
    "void main() {\n"
    "  vec4 c = (texture2D(s0, uv) + texture2D(s1, uv)) * 0.5;\n"
    "  gl_FragColor = vec4(c.rgb, 0.75);\n"
    "}\n";

// Gooch and Phong lighting models (with occluders; lowquality skips them).
#define GLSL_MODEL_IN                                                         \
    GLSL_LIT_IN GLSL_OCCLUDERS_DECL                                           \
    "uniform vec3 lightdir;\n"                                                \
    "uniform int lowquality;\n"                                               \
    "float shade(vec3 nn) {\n"                                                \
    "  return lowquality != 0 ? 0.0 : occluded(globalpos, nn, lightdir);\n"   \
    "}\n"                                                                     \
    "vec3 gooch(vec3 nn, vec3 surface) {\n"                                   \
    "  vec3 warm = vec3(0.6, 0.6, 0.0) + 0.45 * surface;\n"                   \
    "  vec3 cool = vec3(0.0, 0.0, 0.6) + 0.45 * surface;\n"                   \
    "  float k = (dot(nn, lightdir) + 1.0) * 0.5;\n"                          \
    "  return mix(cool, warm, k);\n"                                          \
    "}\n"                                                                     \
    "vec3 phong(vec3 nn, vec3 surface) {\n"                                   \
    "  vec3 v = normalize(cameragpos - globalpos);\n"                         \
    "  float d = max(dot(nn, lightdir), 0.0);\n"                              \
    "  float s = pow(max(dot(reflect(-lightdir, nn), v), 0.0), 24.0);\n"      \
    "  return surface * (0.35 + 0.65 * d) + vec3(0.4 * s);\n"                 \
    "}\n"

#define OCC12_MODEL OCC12 GLSL_MODEL_IN

static const char F_GOOCH[] = GLSL_HEAD OCC12_MODEL
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec3 c = gooch(nn, vec3(0.75, 0.75, 0.75) * vcolor.rgb) - vec3(shade(nn));\n"
    "  gl_FragColor = vec4(max(c, 0.0), vcolor.a);\n"
    "}\n";

static const char F_PHONG[] = GLSL_HEAD OCC12_MODEL
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec3 c = phong(nn, vcolor.rgb) - vec3(shade(nn));\n"
    "  gl_FragColor = vec4(max(c, 0.0), vcolor.a);\n"
    "}\n";

static const char F_GOOCHTEX[] = GLSL_HEAD OCC12_MODEL
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec4 t0 = texture2D(texture0, texcoord);\n"
    "  vec3 c = gooch(nn, vec3(0.75, 0.75, 0.75) * vcolor.rgb * t0.rgb) - vec3(shade(nn));\n"
    "  gl_FragColor = vec4(max(c, 0.0), vcolor.a * t0.a);\n"
    "}\n";

static const char F_PHONGTEX[] = GLSL_HEAD OCC12_MODEL
    "uniform sampler2D texture0;\n"
    "void main() {\n"
    "  vec3 nn = normalize(gnormal);\n"
    "  vec4 t0 = texture2D(texture0, texcoord);\n"
    "  vec3 c = phong(nn, vcolor.rgb * t0.rgb) - vec3(shade(nn));\n"
    "  gl_FragColor = vec4(max(c, 0.0), vcolor.a * t0.a);\n"
    "}\n";

#define GLSL_MODEL_BUMP_IN GLSL_BUMP_SAMPLING

static const char F_GOOCHTEXBUMP[] = GLSL_HEAD OCC12_MODEL GLSL_MODEL_BUMP_IN
    "void main() {\n"
    "  vec4 c0 = base_colour();\n"
    "  vec3 nn = bumped_normal();\n"
    "  vec3 c = gooch(nn, vec3(0.75, 0.75, 0.75) * c0.rgb) - vec3(shade(normalize(n)));\n"
    "  gl_FragColor = vec4(max(c, 0.0), c0.a);\n"
    "}\n";

static const char F_PHONGTEXBUMP[] = GLSL_HEAD OCC12_MODEL GLSL_MODEL_BUMP_IN
    "void main() {\n"
    "  vec4 c0 = base_colour();\n"
    "  vec3 nn = bumped_normal();\n"
    "  vec3 c = phong(nn, c0.rgb) - vec3(shade(normalize(n)));\n"
    "  gl_FragColor = vec4(max(c, 0.0), c0.a);\n"
    "}\n";

const GlslSources glsl_sources = {
    V_LIT, V_LIT_TEX, V_GROUND, V_COPY, V_GHOST, V_STAIN, V_TCGEN, V_BUMP, V_TCGEN_BUMP,
    V_BLOOD, V_SHADOW, V_SHADOW_FLOOR, V_QUAD,
    F_DIFFUSE, F_DIFFTEX, F_GROUND, F_COPY, F_GHOST, F_SIMPLE, F_SIMPTEX, F_TOPSIMPTEX,
    F_SIMPD, F_SIMPDTEX, F_STAIN, F_STAINCOPY, F_GROUND_AO4, F_GROUND_AO6, F_GROUND_AO12,
    F_DIFF_AO4, F_DIFF_AO6, F_DIFF_AO12, F_DIFFTEX_AO4, F_DIFFTEX_AO6, F_DIFFTEX_AO12,
    F_BUMP, F_BUMP_AO4, F_BUMP_AO6, F_BUMP_AO12, F_BLOOD4, F_BLOOD1, F_BLACK,
    F_SHADOW_FLOOR, F_COMBINE, F_SMOOTH, F_FINAL, F_GOOCH, F_PHONG, F_GOOCHTEX, F_PHONGTEX,
    F_GOOCHTEXBUMP, F_PHONGTEXBUMP,
};
