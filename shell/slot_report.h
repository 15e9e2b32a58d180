// The report of the outward records' empty slots (see slot_report.cpp).
#pragma once

#include <cstdio>

// Writes "record.slot" for every empty slot; returns how many.
int report_empty_slots(FILE *out);
// With ZM_SLOT_REPORT set, makes the session start write the report.
void bind_slot_report();
