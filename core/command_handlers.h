// Every handler that CommandTable names. Each takes the line's number and
// its arguments (never null; the packed tail for the "P_" commands in the
// network and replay columns) and returns a value nobody looks at.
#pragma once

// Network column: lines from the game server (main thread).
int net_cmd_newgame(int number, const char *args);
int net_cmd_run(int number, const char *args);
int net_cmd_teams(int number, const char *args);
int net_cmd_engage(int number, const char *args);
int net_cmd_win(int number, const char *args);
int net_cmd_win2(int number, const char *args);
int net_cmd_id(int number, const char *args);
int net_cmd_connect(int number, const char *args);
int net_cmd_bout(int number, const char *args);
int net_cmd_specs(int number, const char *args);
int net_cmd_say(int number, const char *args);
int net_cmd_qat(int number, const char *args);
int net_cmd_pos(int number, const char *args);
int net_cmd_hingefmax(int number, const char *args);
int net_cmd_hingevel(int number, const char *args);
int net_cmd_angvel(int number, const char *args);
int net_cmd_linvel(int number, const char *args);
int net_cmd_p_qat(int number, const char *tail);
int net_cmd_p_pos(int number, const char *tail);
int net_cmd_p_angvel(int number, const char *tail);
int net_cmd_p_linvel(int number, const char *tail);
int net_cmd_world(int number, const char *args);
int net_cmd_crush(int number, const char *args);
int net_cmd_fract(int number, const char *args);
int net_cmd_break(int number, const char *args);
int net_cmd_discl(int number, const char *args);
int net_cmd_grip(int number, const char *args);
int net_cmd_b_grip(int number, const char *args);
int net_cmd_grab(int number, const char *args);
int net_cmd_size(int number, const char *args);
int net_cmd_joint(int number, const char *args);
int net_cmd_b_joint(int number, const char *args);
int net_cmd_batch(int number, const char *args);
int net_cmd_game(int number, const char *args);
int net_cmd_lost(int number, const char *args);
int net_cmd_bodcol(int number, const char *args);
int net_cmd_gradcol1(int number, const char *args);
int net_cmd_gradcol2(int number, const char *args);
int net_cmd_jforce(int number, const char *args);
int net_cmd_jrelax(int number, const char *args);
int net_cmd_jreplay(int number, const char *args);
int net_cmd_trailcol(int number, const char *args);
int net_cmd_item(int number, const char *args);
int net_cmd_decal(int number, const char *args);
int net_cmd_text(int number, const char *args);
int net_cmd_beltname(int number, const char *args);
int net_cmd_ghost(int number, const char *args);
int net_cmd_echo(int number, const char *args);
int net_cmd_zylomach(int number, const char *args);
int net_cmd_disconnect(int number, const char *args);
int net_cmd_kick(int number, const char *args);
int net_cmd_frame(int number, const char *args);
int net_cmd_info(int number, const char *args);
int net_cmd_forward(int number, const char *args);
int net_cmd_emote(int number, const char *args);
int net_cmd_p_env(int number, const char *tail);
int net_cmd_announce(int number, const char *args);

// Replay column: lines of a replay file (main thread). The fourth column's
// customisation rows use the same handlers.
int replay_cmd_newgame(int number, const char *args);
int replay_cmd_teams(int number, const char *args);
int replay_cmd_engage(int number, const char *args);
int replay_cmd_bout(int number, const char *args);
int replay_cmd_qat(int number, const char *args);
int replay_cmd_pos(int number, const char *args);
int replay_cmd_hingefmax(int number, const char *args);
int replay_cmd_hingevel(int number, const char *args);
int replay_cmd_angvel(int number, const char *args);
int replay_cmd_linvel(int number, const char *args);
int replay_cmd_p_qat(int number, const char *tail);
int replay_cmd_p_pos(int number, const char *tail);
int replay_cmd_p_angvel(int number, const char *tail);
int replay_cmd_p_linvel(int number, const char *tail);
int replay_cmd_crush(int number, const char *args);
int replay_cmd_fract(int number, const char *args);
int replay_cmd_grip(int number, const char *args);
int replay_cmd_grab(int number, const char *args);
int replay_cmd_joint(int number, const char *args);
int replay_cmd_bodcol(int number, const char *args);
int replay_cmd_gradcol1(int number, const char *args);
int replay_cmd_gradcol2(int number, const char *args);
int replay_cmd_trailcol(int number, const char *args);
int replay_cmd_item(int number, const char *args);
int replay_cmd_decal(int number, const char *args);
int replay_cmd_text(int number, const char *args);
int replay_cmd_fight(int number, const char *args);
int replay_cmd_fightname(int number, const char *args);
int replay_cmd_frame(int number, const char *args);
int replay_cmd_author(int number, const char *args);
int replay_cmd_version(int number, const char *args);
int replay_cmd_emote(int number, const char *args);
int replay_cmd_p_env(int number, const char *tail);
int replay_cmd_epos(int number, const char *args);
int replay_cmd_eqat(int number, const char *args);
int replay_cmd_eangvel(int number, const char *args);
int replay_cmd_elinvel(int number, const char *args);

// Browser column: replies a polled server pushes (browser worker thread).
int browser_cmd_newgame(int number, const char *args);
int browser_cmd_info(int number, const char *args);
int browser_cmd_clients(int number, const char *args);
int browser_cmd_desc(int number, const char *args);
