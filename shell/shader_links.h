// Wiring of the shader renderer's settings, programs and trails into the
// shell: the option rows they read, the "shaders" switch, the palette rows
// of the interface colours, the trail slots of the match core, and the
// release of their GL objects when the renderer shuts down.
#pragma once

// Called once by start-up (after the platform's slots are set).
void bind_shader_links();
// The option reads and writes of scripts, with "shaders" through the
// renderer's switch. The start-up script runs before the rest of the wiring,
// so start-up calls this first; bind_shader_links calls it again (no-op).
void bind_script_option_links();
// Sets one of the renderer's on/off rows (fluid, reflection, softshadow,
// ambientocclusion, bumpmapping, noreload, transparency, frameskip,
// shaders) through its switch when it is to change; 1 for any other row.
int switch_render_option(int option, int on);
// Makes the trails (memory only; no GL needed). 0 on success.
int start_trails();
