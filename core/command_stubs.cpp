// Placeholder bodies for the command handlers that are not written yet.
// Each handler moves out of this file into its own module when it is built;
// until then the line is parsed and routed and the handler does nothing.
//
// The network "INFO" handler stays empty when built. The replay column's
// handlers live with the replay file reader (core/replay_file.cpp).
#include "core/command_handlers.h"

// ---- network column ------------------------------------------------------
int net_cmd_newgame(int, const char *) { return 0; }
int net_cmd_run(int, const char *) { return 0; }
int net_cmd_teams(int, const char *) { return 0; }
int net_cmd_engage(int, const char *) { return 0; }
int net_cmd_win(int, const char *) { return 0; }
int net_cmd_win2(int, const char *) { return 0; }
int net_cmd_id(int, const char *) { return 0; }
int net_cmd_connect(int, const char *) { return 0; }
int net_cmd_bout(int, const char *) { return 0; }
int net_cmd_specs(int, const char *) { return 0; }
int net_cmd_say(int, const char *) { return 0; }
int net_cmd_qat(int, const char *) { return 0; }
int net_cmd_pos(int, const char *) { return 0; }
int net_cmd_hingefmax(int, const char *) { return 0; }
int net_cmd_hingevel(int, const char *) { return 0; }
int net_cmd_angvel(int, const char *) { return 0; }
int net_cmd_linvel(int, const char *) { return 0; }
int net_cmd_p_qat(int, const char *) { return 0; }
int net_cmd_p_pos(int, const char *) { return 0; }
int net_cmd_p_angvel(int, const char *) { return 0; }
int net_cmd_p_linvel(int, const char *) { return 0; }
int net_cmd_world(int, const char *) { return 0; }
int net_cmd_crush(int, const char *) { return 0; }
int net_cmd_fract(int, const char *) { return 0; }
int net_cmd_break(int, const char *) { return 0; }
int net_cmd_discl(int, const char *) { return 0; }
int net_cmd_grip(int, const char *) { return 0; }
int net_cmd_b_grip(int, const char *) { return 0; }
int net_cmd_grab(int, const char *) { return 0; }
int net_cmd_size(int, const char *) { return 0; }
int net_cmd_joint(int, const char *) { return 0; }
int net_cmd_b_joint(int, const char *) { return 0; }
int net_cmd_batch(int, const char *) { return 0; }
int net_cmd_game(int, const char *) { return 0; }
int net_cmd_lost(int, const char *) { return 0; }
int net_cmd_bodcol(int, const char *) { return 0; }
int net_cmd_gradcol1(int, const char *) { return 0; }
int net_cmd_gradcol2(int, const char *) { return 0; }
int net_cmd_jforce(int, const char *) { return 0; }
int net_cmd_jrelax(int, const char *) { return 0; }
int net_cmd_jreplay(int, const char *) { return 0; }
int net_cmd_trailcol(int, const char *) { return 0; }
int net_cmd_item(int, const char *) { return 0; }
int net_cmd_decal(int, const char *) { return 0; }
int net_cmd_text(int, const char *) { return 0; }
int net_cmd_beltname(int, const char *) { return 0; }
int net_cmd_ghost(int, const char *) { return 0; }
int net_cmd_echo(int, const char *) { return 0; }
int net_cmd_zylomach(int, const char *) { return 0; }
int net_cmd_disconnect(int, const char *) { return 0; }
int net_cmd_kick(int, const char *) { return 0; }
int net_cmd_frame(int, const char *) { return 0; }
int net_cmd_info(int, const char *) { return 0; }
int net_cmd_forward(int, const char *) { return 0; }
int net_cmd_emote(int, const char *) { return 0; }
int net_cmd_p_env(int, const char *) { return 0; }
int net_cmd_announce(int, const char *) { return 0; }

// ---- browser column ------------------------------------------------------
int browser_cmd_newgame(int, const char *) { return 0; }
int browser_cmd_info(int, const char *) { return 0; }
int browser_cmd_clients(int, const char *) { return 0; }
int browser_cmd_desc(int, const char *) { return 0; }
