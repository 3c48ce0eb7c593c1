// Test-only access to the channel's per-image state. Nothing in a deliverable
// calls these; they are hidden like everything else in the support library.
#ifndef ZOL_TOOLS_TESTING_H
#define ZOL_TOOLS_TESTING_H

void zol_testing_set_verbose_mode(int value);
void zol_testing_set_trace_mask(int value);
void zol_testing_set_complaint_count(int value);
int zol_testing_complaint_count();

#endif  // ZOL_TOOLS_TESTING_H
