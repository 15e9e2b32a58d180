// What the network column's handlers keep beside the player and match
// records: the batch tables of "B_JOINT" and "B_GRIP", the received hinge
// values of "HINGEVEL" and "HINGEFMAX", the network set of grab records and
// the number of the last "FRAME" line. The handlers themselves are declared
// in core/command_handlers.h.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "core/replay_file.h"

enum {
    NET_BATCH_SLOTS = 32,       // steps of one batched move
    ZYLOMACH_PROTOCOL = 30      // the protocol version this client speaks
};

struct NetBatchTables {
    int32_t slot[MAX_FIGHTERS];                                  // "BATCH" slot per player
    int32_t joints[MAX_FIGHTERS][NET_BATCH_SLOTS][NUM_JOINTS];   // motor state, 0 none
    int32_t grips[MAX_FIGHTERS][NET_BATCH_SLOTS][2];             // left, right
};
extern NetBatchTables net_batch;

// Per fighter: the hinge velocities and maximum forces last received.
extern double received_hinge_vel[MAX_FIGHTERS][NUM_JOINTS];
extern double received_hinge_fmax[MAX_FIGHTERS][NUM_JOINTS];

extern GrabRecord net_grabs[MAX_FIGHTERS][GRAB_RECORDS];
extern int32_t last_net_frame;

// Empties the tables above.
void reset_net_handler_state();

// A server's CONNECT or FORWARD is followed only to the host of the
// current connection or to a host servers.txt lists; 0 (with a message
// naming the address) otherwise.
int server_redirect_allowed(const char *command, const char *address);
